// quernfold: finite-element mesh utilities. Host programs include this header
// only; it brings the whole library, the math-library containers, the
// histogram and dspev into view.
#pragma once

#include "ovk/lapack/dspev.h"
#include "ovk/math1/math1.h"
#include "ovk/misc/histogram.h"
#include "quernfold/io.h"
#include "quernfold/mesh.h"
#include "quernfold/metrics.h"
#include "quernfold/model.h"
#include "quernfold/partition.h"
#include "quernfold/quality.h"
#include "quernfold/search.h"
#include "quernfold/topology.h"
#include "quernfold/transform.h"
