// Geometric transformations: translation, rotation and scaling of nodes;
// copies, mirror copies and clipping of meshes.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

}  // namespace quernfold
}  // namespace ovk
