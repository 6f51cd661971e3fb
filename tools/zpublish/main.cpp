// zpublish: writes and checks a release's ".info" record (see ZPublish.h).
#include <iostream>

#include "tools/zpublish/ZPublish.h"

int main(int argc, char** argv) {
  return zpublish::Main(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
