// quernfold: command-line front end of the mesh library.
#include <cstdio>
#include <cstring>

#include <quernfold/quernfold.h>

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "version") == 0)) {
    std::printf("quernfold %s\n", ovk::quernfold::version());
    return 0;
  }
  std::printf("usage: quernfold --version\n");
  return argc > 1 ? 2 : 0;
}
