// Metrics: single size maps (validity, eigen-decomposition, intersection,
// union, bounding, conversions), metric fields, isotropic size-map
// generation and gradation control.
//
// Storage: an isotropic metric is one size h (standing for (1/h^2) I); an
// anisotropic metric is a symmetric positive-definite matrix packed by
// columns of its upper triangle: 2-D (M00, M01, M11), 3-D (M00, M01, M11,
// M02, M12, M22). A field is a dense1D<double> of sizes or a dense2D<double>
// with 3 (2-D) or 6 (3-D) rows and one column per node.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

// --- Metric algebra and metric fields --------------------------------------

// --- Isotropic size-map generation and gradation control -------------------

}  // namespace quernfold
}  // namespace ovk
