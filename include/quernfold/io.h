// File formats: readers and writers of mesh files.
#pragma once

#include <cstdio>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

}  // namespace quernfold
}  // namespace ovk
