// Topology: element faces and neighbours, mesh boundaries, node graphs,
// sub-domains, colour boundaries and grouping of mixed elements.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

}  // namespace quernfold
}  // namespace ovk
