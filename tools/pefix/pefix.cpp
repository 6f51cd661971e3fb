// pefix: moves the PE header of a Windows executable to file offset 256 and leaves the
// DOS-header bytes 248..255 free (zero), where the package builder records PackEnd.
// The GNU linker puts the PE header at 128, where those bytes would fall inside it.
//
//   pefix FILE        rewrite FILE in place (through a temporary file)
//   pefix --check FILE  exit 0 when the PE header is at 256 and bytes 248..255 are zero
//
// The PE header (signature, file header, optional header, section table) moves as one
// block; it must still fit in the header area before the first section's data. Section
// data, RVAs and the image layout do not change. A non-zero image checksum is recomputed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kTarget = 256;
constexpr std::uint32_t kFreeStart = 248;

std::uint16_t Get16(const std::vector<unsigned char>& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }
std::uint32_t Get32(const std::vector<unsigned char>& b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
         std::uint32_t(b[at + 3]) << 24;
}
void Put32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

struct Layout {
  std::uint32_t peOffset = 0;
  std::uint32_t headerLength = 0;  // signature .. end of the section table
  std::uint32_t checkSumAt = 0;    // offset of the optional header's CheckSum, relative to the PE header
  std::uint32_t roomEnd = 0;       // the PE header must end before this
};

bool Parse(const std::vector<unsigned char>& b, Layout& layout, std::string& error) {
  if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return error = "not an MZ executable", false;
  layout.peOffset = Get32(b, 0x3C);
  std::uint64_t pe = layout.peOffset;
  if (pe < 0x40 || pe + 24 > b.size() || std::memcmp(&b[pe], "PE\0\0", 4) != 0)
    return error = "no PE signature at the offset the DOS header names", false;
  std::uint32_t sections = Get16(b, pe + 6);
  std::uint32_t optionalSize = Get16(b, pe + 20);
  layout.headerLength = 24 + optionalSize + 40 * sections;
  if (pe + layout.headerLength > b.size() || optionalSize < 64) return error = "truncated PE header", false;
  std::uint64_t optional = pe + 24;
  std::uint16_t magic = Get16(b, optional);
  if (magic != 0x10B && magic != 0x20B) return error = "unknown optional header", false;
  std::uint32_t sizeOfHeaders = Get32(b, optional + 60);
  layout.checkSumAt = 24 + 64;
  layout.roomEnd = sizeOfHeaders;
  std::uint64_t table = optional + optionalSize;
  for (std::uint32_t i = 0; i < sections; ++i) {
    std::uint32_t rawSize = Get32(b, table + 40 * i + 16);
    std::uint32_t rawPointer = Get32(b, table + 40 * i + 20);
    if (rawSize != 0 && rawPointer != 0 && rawPointer < layout.roomEnd) layout.roomEnd = rawPointer;
  }
  // Directories that live in the header area by file offset (bound imports) would move.
  std::uint32_t directories = Get32(b, optional + (magic == 0x10B ? 92 : 108));
  std::uint64_t dirTable = optional + (magic == 0x10B ? 96 : 112);
  if (directories > 11 && dirTable + 8 * 12 <= table && Get32(b, dirTable + 8 * 11) != 0)
    return error = "the executable has bound imports in its header area", false;
  if (layout.roomEnd > b.size()) return error = "header area beyond the end of the file", false;
  return true;
}

std::uint32_t PeCheckSum(const std::vector<unsigned char>& b, std::size_t checkSumOffset) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < b.size(); i += 2) {
    if (i == checkSumOffset || i == checkSumOffset + 2) continue;
    std::uint32_t word = b[i] | (i + 1 < b.size() ? b[i + 1] << 8 : 0);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return std::uint32_t(sum + b.size());
}

bool AlreadyFixed(const std::vector<unsigned char>& b, const Layout& layout) {
  if (layout.peOffset != kTarget) return false;
  for (std::uint32_t i = kFreeStart; i < kTarget; ++i)
    if (b[i] != 0) return false;
  return true;
}

int Usage(std::ostream& out, int code) {
  out << "usage: pefix FILE\n"
         "       pefix --check FILE\n"
         "Moves the PE header of FILE to offset 256 and clears bytes 248..255.\n";
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) return Usage(std::cout, 0);
  bool check = !args.empty() && args[0] == "--check";
  if (check) args.erase(args.begin());
  if (args.size() != 1) return Usage(std::cerr, 2);
  const std::string file = args[0];

  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::cerr << "pefix: cannot open " << file << "\n";
    return 1;
  }
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();

  Layout layout;
  std::string error;
  if (!Parse(b, layout, error)) {
    std::cerr << "pefix: " << file << ": " << error << "\n";
    return 1;
  }
  if (check) {
    if (AlreadyFixed(b, layout)) return 0;
    std::cerr << "pefix: " << file << ": PE header at " << layout.peOffset << ", not at 256 with 248..255 free\n";
    return 1;
  }
  if (AlreadyFixed(b, layout)) return 0;
  if (layout.peOffset > kTarget) {
    std::cerr << "pefix: " << file << ": PE header lies beyond 256 already\n";
    return 1;
  }
  if (kTarget + layout.headerLength > layout.roomEnd) {
    std::cerr << "pefix: " << file << ": the PE header does not fit between 256 and the first section\n";
    return 1;
  }
  // The bytes the header moves onto must be the padding after it.
  for (std::uint32_t i = layout.peOffset + layout.headerLength; i < kTarget + layout.headerLength; ++i)
    if (b[i] != 0) {
      std::cerr << "pefix: " << file << ": data after the PE header in the header area\n";
      return 1;
    }

  std::vector<unsigned char> header(b.begin() + layout.peOffset, b.begin() + layout.peOffset + layout.headerLength);
  std::fill(b.begin() + std::max<std::uint32_t>(layout.peOffset, 0x40), b.begin() + kTarget + layout.headerLength, 0);
  std::copy(header.begin(), header.end(), b.begin() + kTarget);
  Put32(b, 0x3C, kTarget);
  for (std::uint32_t i = kFreeStart; i < kTarget; ++i) b[i] = 0;
  std::size_t checkSumOffset = kTarget + layout.checkSumAt;
  if (Get32(b, checkSumOffset) != 0) Put32(b, checkSumOffset, PeCheckSum(b, checkSumOffset));

  const std::string temp = file + ".pefix-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    if (!out.flush()) {
      std::remove(temp.c_str());
      std::cerr << "pefix: cannot write " << temp << "\n";
      return 1;
    }
  }
  if (std::rename(temp.c_str(), file.c_str()) != 0) {
    std::remove(temp.c_str());
    std::cerr << "pefix: cannot replace " << file << "\n";
    return 1;
  }
  return 0;
}
