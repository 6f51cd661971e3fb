// Checksum over arbitrary files; the file and the in-memory form must agree.
#include <cstdlib>

#include "package/PackX.h"
#include "tests/fuzz/FuzzFile.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < 1) return 0;
  std::uint32_t trailerSize = data[0];  // small trailer sizes, including 0 and > size
  const std::string& name = WriteFuzzFile(data, size);
  std::string image(reinterpret_cast<const char*>(data), size);
  if (PackCheckSum(name, trailerSize) != PackCheckSumOfImage(image, trailerSize)) std::abort();
  return 0;
}
