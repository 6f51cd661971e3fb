// The benchmark's baseline: the least a program can do to unpack a package. It reads the
// trailer, skips the header blocks, and for every data block reads it whole, inflates it
// whole, and appends the content to its file with the stored date. No checks beyond what
// keeps it from crashing on the benchmark's own packages.
//   extractbase PACKAGE DESTFOLDER
//   extractbase --read FILE      ten plain reads of a file in 1 MB pieces (the checksum's baseline)
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "MemoryLine.h"

namespace {

bool ReadExact(HANDLE file, void* buffer, DWORD size) {
  DWORD read = 0;
  return ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

void MakeParents(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

int ReadWhole(const char* name) {
  const std::int64_t started = NowMs();
  std::vector<unsigned char> buffer(1 << 20);
  std::uint64_t bytes = 0;
  for (int pass = 0; pass < 10; ++pass) {  // as many passes as extractrun --checksum makes
    HANDLE in = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return 1;
    DWORD read = 0;
    while (ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) bytes += read;
    CloseHandle(in);
  }
  PrintResult("baseline", NowMs() - started, bytes, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--read") == 0) return ReadWhole(argv[2]);
  if (argc != 3) {
    std::fprintf(stderr, "usage: extractbase PACKAGE DESTFOLDER\n       extractbase --read FILE\n");
    return 2;
  }
  const std::int64_t started = NowMs();
  const std::string dest = std::string(argv[2]) + "\\";
  HANDLE in = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return 1;
  LARGE_INTEGER size;
  GetFileSizeEx(in, &size);
  unsigned char trailer[74];
  LARGE_INTEGER at;
  at.QuadPart = size.QuadPart - 74;
  SetFilePointerEx(in, at, nullptr, FILE_BEGIN);
  if (!ReadExact(in, trailer, 74)) return 1;
  std::uint32_t dataStart;
  std::memcpy(&dataStart, trailer + 4, 4);
  const int headers = trailer[1] ? trailer[1] : 2;
  std::int64_t position = dataStart;
  at.QuadPart = position;
  SetFilePointerEx(in, at, nullptr, FILE_BEGIN);
  MakeParents(dest);
  CreateDirectoryA(dest.c_str(), nullptr);

  std::vector<unsigned char> block, out(6 << 20);
  std::uint64_t bytes = 0, files = 0;
  for (int i = 1; size.QuadPart - position > 74; ++i) {
    std::int32_t n;
    if (!ReadExact(in, &n, 4)) return 1;
    const bool compressed = n > 0;
    const std::uint32_t length = compressed ? n : -n;
    block.resize(length);
    if (length && !ReadExact(in, block.data(), length)) return 1;
    position += 4 + length;
    if (i <= headers) continue;
    const unsigned char* payload = block.data();
    std::size_t payloadSize = length;
    if (compressed) {
      uLongf produced;
      for (;;) {
        produced = out.size();
        const int result = uncompress(out.data(), &produced, block.data(), length);
        if (result == Z_BUF_ERROR) {
          out.resize(out.size() * 2);
          continue;
        }
        if (result != Z_OK) return 1;
        break;
      }
      payload = out.data();
      payloadSize = produced;
    }
    const void* zero = std::memchr(payload, 0, payloadSize);
    if (!zero) continue;
    const std::size_t nameSize = static_cast<const unsigned char*>(zero) - payload;
    // Name part "|path|date|".
    const std::string name(reinterpret_cast<const char*>(payload), nameSize);
    const std::size_t second = name.find(name[0], 1);
    const std::string path = dest + name.substr(1, second - 1).substr(0, name.substr(1, second - 1).find('*'));
    const std::uint32_t date = std::strtoul(name.c_str() + second + 1, nullptr, 10);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      MakeParents(path);
      file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) return 1;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      LARGE_INTEGER zeroOffset{};
      SetFilePointerEx(file, zeroOffset, nullptr, FILE_END);
    } else {
      ++files;
    }
    DWORD written = 0;
    const DWORD contentSize = static_cast<DWORD>(payloadSize - nameSize - 1);
    WriteFile(file, payload + nameSize + 1, contentSize, &written, nullptr);
    bytes += written;
    FILETIME local, utc;
    if (date && DosDateTimeToFileTime(HIWORD(date), LOWORD(date), &local) && LocalFileTimeToFileTime(&local, &utc))
      SetFileTime(file, nullptr, nullptr, &utc);
    CloseHandle(file);
  }
  CloseHandle(in);
  PrintResult("baseline", NowMs() - started, bytes, files);
  return 0;
}
