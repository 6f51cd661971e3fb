#include "tools/zmutate/ZMutate.h"

int main(int argc, char** argv) { return zmutate::Main(std::vector<std::string>(argv + 1, argv + argc)); }
