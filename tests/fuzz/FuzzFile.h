#pragma once
// Writes fuzz input to a private temporary file (the reader works on files).
#include <unistd.h>

#include <cstdio>
#include <string>

inline const std::string& FuzzFileName() {
  static const std::string name = "/tmp/zfuzz_" + std::to_string(getpid()) + ".bin";
  return name;
}

inline const std::string& WriteFuzzFile(const unsigned char* data, size_t size) {
  const std::string& name = FuzzFileName();
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file) {
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  return name;
}
