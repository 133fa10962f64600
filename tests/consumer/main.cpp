// Smallest host program: builds a mesh, asks the library about it and checks
// the answers, so that a broken package fails loudly.
#include <quernfold/quernfold.h>

#include <cstdio>
#include <cstring>

int main() {
  using namespace ovk::quernfold;
  dense2D<double> coords{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  dense2D<unsigned> tetra{{0, 1, 2, 3}};
  if (std::strcmp(version(), "5.1.0.0") != 0) return 1;
  if (!check_IDs(tetra, ET_TETRA4, 4) || check_IDs(tetra, ET_TETRA4, 3)) return 2;
  double w[3] = {0, 0, 0}, ap[6] = {2, 0, 3, 0, 0, 1}, work[9];
  int info = 0;
  ovk::lapack::dspev('N', 'U', 3, ap, w, nullptr, 1, work, info);
  if (info != 0 || w[0] != 1.0 || w[2] != 3.0) return 3;
  std::printf("quernfold %s: consumer ok\n", version());
  return 0;
}
