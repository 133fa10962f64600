// All containers of the math library.
#pragma once

#include "ovk/math1/dense1D.h"
#include "ovk/math1/dense2D.h"
#include "ovk/math1/fixed.h"
#include "ovk/math1/storage.h"
