// Quality: shape qualities, Jacobians, edge lengths in a size map and size
// shocks.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

// --- Shape qualities and Jacobians -----------------------------------------

// --- Edge lengths in a size map, edge extraction, size shocks --------------

}  // namespace quernfold
}  // namespace ovk
