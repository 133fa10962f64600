#include "ovk/lapack/dspev.h"

#include <cstddef>

// Fortran entry point of LAPACK; the trailing lengths are the hidden string
// length arguments of jobz and uplo.
extern "C" void dspev_(const char* jobz, const char* uplo, const int* n, double* ap, double* w,
                       double* z, const int* ldz, double* work, int* info, std::size_t jobz_len,
                       std::size_t uplo_len);

namespace ovk {
namespace lapack {

int dspev(char jobz, char uplo, int n, double* ap, double* w, double* z, int ldz, double* work,
          int& info) {
  info = 0;
  dspev_(&jobz, &uplo, &n, ap, w, z, &ldz, work, &info, 1, 1);
  return info;
}

}  // namespace lapack
}  // namespace ovk
