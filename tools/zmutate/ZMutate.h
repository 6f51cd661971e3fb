#pragma once
// zmutate: writes damaged copies of an installation file made by zpack, for the
// corrupt-package matrix (tests/wine/corrupt_matrix.sh). The layout is package/PackFormat.h.
//
// Kinds of damage:
//   cut      the file cut short inside a region (stub, a header block, a data block, the
//            trailer); nothing mended, so the checksum and the lost trailer tell
//   cutfix   cut inside a region, then a trailer appended and the checksum recomputed, so
//            the block walk itself must find the cut
//   flip     one bit flipped in a length, count, offset or name, checksum recomputed
//   name     a block's path replaced by one that leaves the folder, checksum recomputed
//   bomb     a block that inflates to far more than the package declares, checksum
//            recomputed (installed while the drive has room, else its write fails)
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/PackFormat.h"

namespace zmutate {

// One block (header or data) of the package as it lies in the file.
struct Block {
  std::int64_t at = 0;  // offset of its 32-bit length
  std::int32_t n = 0;   // the length as stored (> 0: zlib stream)
  bool header = false;
  std::string payload;  // data blocks: inflated (or stored) bytes
  std::size_t Size() const { return n < 0 ? std::size_t(-std::int64_t(n)) : std::size_t(n); }
};

struct Package {
  std::string image;           // the whole file
  bool packEndSet = false;     // PackEndPos in the DOS header is used
  std::int64_t end = 0;        // PackEnd
  std::int64_t trailerAt = 0;  // end - 74
  pack::PackTrailer trailer{};
  std::vector<Block> blocks;   // header blocks first
};

// Reads a well-formed package (one volume, trailer of 74 bytes). False with a reason.
bool ReadPackage(const std::string& image, Package& package, std::string& error);

struct Variant {
  std::string name;     // file name without extension, e.g. "flip-blk2-len-b31"
  std::string image;
  bool viaSpan = false;       // the stub's own code is damaged: run it through an intact stub
  bool mustRefuse = false;    // an extraction that does not report damage is a fault
};

struct Plan {
  bool full = false;                        // every offset and bit instead of a sample
  std::uint64_t bombBytes = 1ull << 30;     // content of the bomb block
};

// Hands every variant of the plan to sink, one at a time; stops when sink returns false.
void MakeVariants(const Package& package, const Plan& plan, const std::function<bool(const Variant&)>& sink);

// Stores the checksum the reader computes into the trailer the reader finds (as it
// finds it: PackEndPos, then the trailer's own length). False when it finds none.
bool FixCheckSum(std::string& image);

// The command line: returns the exit code (0 ok, 1 failure, 2 usage).
int Main(const std::vector<std::string>& args);

}  // namespace zmutate
