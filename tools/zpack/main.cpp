// zpack: the package builder (see ZPack.h).
#include <iostream>

#include "tools/zpack/ZPack.h"

int main(int argc, char** argv) {
  return zpack::Main(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
