// DSPEV of LAPACK: eigenvalues (ascending, in w) and optionally orthonormal
// eigenvectors (columns of z, jobz = 'V') of a real symmetric n x n matrix in
// packed storage ap (uplo 'U' or 'L'; ap is destroyed). work holds 3n doubles.
// Returns info, which is also stored in `info`: 0 on success.
#pragma once

namespace ovk {
namespace lapack {

int dspev(char jobz, char uplo, int n, double* ap, double* w, double* z, int ldz, double* work,
          int& info);

}  // namespace lapack
}  // namespace ovk
