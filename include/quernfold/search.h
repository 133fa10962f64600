// Node search and merging: node_detector (k-d tree), merge, removal of
// degenerate elements and unused nodes.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

}  // namespace quernfold
}  // namespace ovk
