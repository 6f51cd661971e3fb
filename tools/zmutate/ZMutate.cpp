#include "tools/zmutate/ZMutate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>

#include "package/PackX.h"
#include "package/ZLibOpen.h"
#include "system/Utils.h"

namespace zmutate {
namespace {

std::uint32_t LoadU32(const std::string& image, std::int64_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, image.data() + at, 4);
  return value;
}

void StoreU32(std::string& image, std::int64_t at, std::uint32_t value) { std::memcpy(&image[std::size_t(at)], &value, 4); }

bool IsPE(const std::string& image) {
  return image.size() >= pack::kPeHeaderOffset + 2 && image.compare(0, 2, "MZ") == 0 &&
         image.compare(pack::kPeHeaderOffset, 2, "PE") == 0;
}

void SetPackEnd(std::string& image, std::uint64_t end) {
  StoreU32(image, pack::kPackEndPosHigh, std::uint32_t(end >> 32));
  StoreU32(image, pack::kPackEndPosLow, std::uint32_t(end));
}

std::string LengthField(std::int32_t n) {
  std::string field(4, '\0');
  StoreU32(field, 0, std::uint32_t(n));
  return field;
}

// A zlib stream of prefix followed by zeros bytes of 0x00, made without holding the zeros.
std::string DeflateWithZeros(const std::string& prefix, std::uint64_t zeros) {
  z_stream stream{};
  deflateInit(&stream, 9);
  std::string out;
  std::vector<unsigned char> buffer(1 << 20);
  const std::vector<unsigned char> zeroPiece(1 << 20, 0);
  auto pump = [&](const unsigned char* data, std::size_t size, int flush) {
    stream.next_in = const_cast<unsigned char*>(data);
    stream.avail_in = uInt(size);
    do {
      stream.next_out = buffer.data();
      stream.avail_out = uInt(buffer.size());
      deflate(&stream, flush);
      out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream.avail_out);
    } while (stream.avail_out == 0);
  };
  pump(reinterpret_cast<const unsigned char*>(prefix.data()), prefix.size(), Z_NO_FLUSH);
  for (std::uint64_t left = zeros; left > 0;) {
    const std::size_t piece = std::size_t(std::min<std::uint64_t>(left, zeroPiece.size()));
    pump(zeroPiece.data(), piece, Z_NO_FLUSH);
    left -= piece;
  }
  pump(nullptr, 0, Z_FINISH);
  deflateEnd(&stream);
  return out;
}

// The block as it lies in the file with a new payload, compressed when the original was.
std::string EncodeBlock(const Block& block, const std::string& payload) {
  if (block.n <= 0) return LengthField(-std::int32_t(payload.size())) + payload;
  const std::string packed = DeflateWithZeros(payload, 0);
  return LengthField(std::int32_t(packed.size())) + packed;
}

// Offsets inside [begin, end) to cut or flip at: a sample, or (full) the edges and a spread.
std::vector<std::int64_t> Offsets(std::int64_t begin, std::int64_t end, bool full) {
  std::set<std::int64_t> at;
  if (end - begin < 2) return {};
  at.insert(begin + (end - begin) / 2);
  if (full) {
    // Inside and just after a length field, the last byte, the quarters.
    for (std::int64_t offset : {begin + 1, begin + 4, end - 1}) at.insert(offset);
    for (int i = 1; i < 4; ++i) at.insert(begin + (end - begin) * i / 4);
  }
  std::vector<std::int64_t> inside;
  for (std::int64_t offset : at)
    if (offset > begin && offset < end) inside.push_back(offset);
  return inside;
}

class Maker {
public:
  Maker(const Package& package, const Plan& plan, const std::function<bool(const Variant&)>& sink)
      : p_(package), plan_(plan), sink_(sink) {}

  void Run() {
    Cuts();
    LengthFlips();
    TrailerFlips();
    NameFlips();
    NameSwaps();
    Bomb();
  }

private:
  const Package& p_;
  const Plan& plan_;
  const std::function<bool(const Variant&)>& sink_;
  bool going_ = true;

  std::int64_t DataStart() const { return p_.trailer.DataStart; }

  // Damage below DataStart is damage to the stub's own code: that file is run through an
  // intact stub pointed at it (viaSpan).
  void Emit(const std::string& name, std::string image, bool mustRefuse, bool fixCheckSum, bool viaSpan = false) {
    if (!going_) return;
    if (fixCheckSum) FixCheckSum(image);
    Variant variant;
    variant.name = name;
    variant.image = std::move(image);
    variant.viaSpan = viaSpan;
    variant.mustRefuse = mustRefuse;
    going_ = sink_(variant);
  }

  std::string BlockName(std::size_t i) const {
    std::size_t headers = 0;
    for (std::size_t k = 0; k < i; ++k) headers += p_.blocks[k].header;
    return p_.blocks[i].header ? "hdr" + std::to_string(i + 1) : "blk" + std::to_string(i + 1 - headers);
  }

  // The blocks to attack one by one: all of them in a full sweep, else the first header
  // block and the first, the first stored and the last data block.
  std::vector<std::size_t> Chosen() const {
    std::vector<std::size_t> chosen;
    const std::size_t none = p_.blocks.size();
    std::size_t firstData = none, lastData = none, stored = none;
    for (std::size_t i = 0; i < p_.blocks.size(); ++i) {
      if (plan_.full) chosen.push_back(i);
      if (p_.blocks[i].header) continue;
      if (firstData == none) firstData = i;
      lastData = i;
      if (p_.blocks[i].n < 0 && stored == none) stored = i;
    }
    if (plan_.full) return chosen;
    for (std::size_t i : {std::size_t(0), firstData, stored, lastData})
      if (i < none && std::find(chosen.begin(), chosen.end(), i) == chosen.end()) chosen.push_back(i);
    return chosen;
  }

  bool IsFirstData(std::size_t i) const { return !p_.blocks[i].header && (i == 0 || p_.blocks[i - 1].header); }

  // The package cut at offset, then a trailer after it (PackEnd moved along).
  std::string CutWithTrailer(std::int64_t cut) const {
    std::string image = p_.image.substr(0, std::size_t(cut)) + p_.image.substr(std::size_t(p_.trailerAt), pack::kTrailerSize);
    if (p_.packEndSet && IsPE(image)) SetPackEnd(image, image.size());
    return image;
  }

  void Cuts() {
    const bool full = plan_.full;
    // A plain cut loses the trailer, whichever block it hits: the sample cuts one block so.
    auto cutBoth = [&](const std::string& region, std::int64_t begin, std::int64_t end, bool plain, bool withTrailer) {
      for (std::int64_t cut : Offsets(begin, end, full)) {
        const std::string where = cut == begin + (end - begin) / 2 ? "mid" : "at" + std::to_string(cut - begin);
        const bool inStub = cut < DataStart();
        if (plain || full) Emit("cut-" + region + "-" + where, p_.image.substr(0, std::size_t(cut)), true, false, inStub);
        if (withTrailer) Emit("cutfix-" + region + "-" + where, CutWithTrailer(cut), true, true, inStub);
      }
    };
    cutBoth("stub", 0, DataStart(), true, true);
    for (std::size_t i : Chosen()) {
      const Block& block = p_.blocks[i];
      cutBoth(BlockName(i), block.at, block.at + 4 + std::int64_t(block.Size()), IsFirstData(i), true);
    }
    cutBoth("trailer", p_.trailerAt, p_.end, true, false);
  }

  // The bits to flip in a field of width bits: a sample, or in a full sweep the given
  // bits (every bit when none are given).
  std::vector<int> Bits(int width, const std::vector<int>& sample, const std::vector<int>& full = {}) const {
    std::vector<int> bits;
    if (plan_.full && !full.empty()) {
      bits = full;
    } else if (plan_.full) {
      for (int b = 0; b < width; ++b) bits.push_back(b);
    } else {
      for (int b : sample)
        if (b < width) bits.push_back(b);
    }
    return bits;
  }

  std::string Flipped(std::int64_t at, int bit) const {
    std::string image = p_.image;
    image[std::size_t(at + bit / 8)] = char((unsigned char)image[std::size_t(at + bit / 8)] ^ (1u << (bit % 8)));
    return image;
  }

  void LengthFlips() {
    for (std::size_t i : Chosen()) {
      const Block& block = p_.blocks[i];
      // Bit 0 and 4: a little shorter or longer; bit 31: the sign (stored / compressed).
      // Sample: the sign of a header's length, a data block 16 bytes shorter or longer. Full
      // sweep: the low byte, both halves' edges, the top.
      for (int bit : Bits(32, {block.header ? 31 : 4}, {0, 1, 2, 3, 4, 5, 6, 7, 15, 16, 23, 24, 30, 31})) {
        const std::int32_t n = std::int32_t(std::uint32_t(block.n) ^ (1u << bit));
        const std::int64_t length = n < 0 ? -std::int64_t(n) : n;
        // A length past the trailer, and a zlib stream cut short, are always damage.
        const bool refuse = block.at + 4 + length > p_.trailerAt || (n > 0 && block.n > 0 && length < block.n);
        Emit("flip-" + BlockName(i) + "-len-b" + std::to_string(bit), Flipped(block.at, bit), refuse, true);
      }
    }
  }

  void TrailerFlips() {
    const std::int64_t t = p_.trailerAt;
    struct Field {
      const char* name;
      std::int64_t at;
      int width;
      std::vector<int> sample;
      std::vector<int> full;  // empty: every bit
    };
    const Field fields[] = {
        {"headercount", t + std::int64_t(offsetof(pack::PackTrailer, HeaderCount)), 8, {0, 2}, {}},
        {"datastart", t + std::int64_t(offsetof(pack::PackTrailer, DataStart)), 32, {31}, {}},
        {"filescount", t + std::int64_t(offsetof(pack::PackTrailer, FilesCount)), 32, {31}, {0, 15, 16, 31}},
        {"trailersize", t + std::int64_t(offsetof(pack::PackTrailer, TrailerSize)), 32, {6}, {}},
        {"packend", pack::kPackEndPosHigh, 64, {40}, {0, 31}},
    };
    for (const Field& field : fields) {
      if (std::string(field.name) == "packend" && !p_.packEndSet) continue;
      std::vector<int> bits = Bits(field.width, field.sample, field.full);
      // PackEndPos: the low half (at 252) bit by bit, the high half's edges.
      if (plan_.full && field.at == pack::kPackEndPosHigh)
        for (int b = 32; b < 64; ++b) bits.push_back(b);
      for (int bit : bits) {
        std::string image = Flipped(field.at, bit);
        Emit("flip-" + std::string(field.name) + "-b" + std::to_string(bit), image, false, true);
      }
    }
  }

  // The file with block i replaced by bytes (its length field included); PackEnd follows.
  std::string WithBlock(std::size_t i, const std::string& bytes) const {
    const Block& block = p_.blocks[i];
    std::string image = p_.image.substr(0, std::size_t(block.at)) + bytes +
                        p_.image.substr(std::size_t(block.at + 4 + std::int64_t(block.Size())));
    if (p_.packEndSet) SetPackEnd(image, std::uint64_t(p_.end) + bytes.size() - (4 + block.Size()));
    return image;
  }

  std::string WithPayload(std::size_t i, const std::string& payload) const {
    return WithBlock(i, EncodeBlock(p_.blocks[i], payload));
  }

  void NameFlips() {
    for (std::size_t i : Chosen()) {
      const Block& block = p_.blocks[i];
      if (block.header) continue;
      const std::size_t nameEnd = block.payload.find('\0');
      if (nameEnd == std::string::npos) continue;
      std::vector<std::size_t> bytes;
      if (plan_.full) {
        for (std::size_t k = 0; k <= nameEnd; ++k) bytes.push_back(k);
      } else if (IsFirstData(i)) {
        bytes = {0, nameEnd};  // the separator, the 0x00
      } else if (block.n < 0) {
        bytes = {1};  // the path's first letter
      }
      for (std::size_t k : bytes) {
        // Full sweep: every bit of the separator and the 0x00, one bit (in turn) of the rest.
        const bool edge = k == 0 || k == nameEnd;
        for (int bit : Bits(8, {k == 1 ? 4 : 0}, edge ? std::vector<int>{} : std::vector<int>{int(k % 8)})) {
          std::string payload = block.payload;
          payload[k] = char((unsigned char)payload[k] ^ (1u << bit));
          const std::string what = k == nameEnd ? "nul" : "name" + std::to_string(k);
          Emit("flip-" + BlockName(i) + "-" + what + "-b" + std::to_string(bit), WithPayload(i, payload), false, true);
        }
      }
    }
  }

  // Paths that leave the folder, written where the builder would never write them.
  void NameSwaps() {
    const char* const swaps[][2] = {{"up", "..\\"}, {"drive", "C:\\"}, {"stream", "a:b"}};
    for (std::size_t i : Chosen()) {
      const Block& block = p_.blocks[i];
      if (block.header || block.payload.size() < 2) continue;
      for (const auto& swap : swaps) {
        std::string payload = block.payload;
        payload.insert(1, swap[1]);
        Emit("name-" + BlockName(i) + "-" + swap[0], WithPayload(i, payload), true, true);
        if (!plan_.full) break;
      }
      if (!plan_.full) break;  // the sample: the engine's block climbs out
    }
  }

  void Bomb() {
    std::size_t last = p_.blocks.size();
    for (std::size_t i = 0; i < p_.blocks.size(); ++i)
      if (!p_.blocks[i].header) last = i;
    if (last == p_.blocks.size() || !plan_.bombBytes) return;
    const Block& block = p_.blocks[last];
    const std::size_t nameEnd = block.payload.find('\0');
    if (nameEnd == std::string::npos) return;
    // Its own name, then zeros: about 1 KB of stream per MB.
    const std::string packed = DeflateWithZeros(block.payload.substr(0, nameEnd + 1), plan_.bombBytes);
    // SpaceNeeded is only an estimate: the stub writes what fits on the drive and reports
    // the write that fails. Either way the run must end and leave nothing behind.
    Emit("bomb-" + std::to_string(plan_.bombBytes >> 20) + "m",
         WithBlock(last, LengthField(std::int32_t(packed.size())) + packed), false, true);
  }
};

bool ReadFileBytes(const std::string& name, std::string& bytes) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

bool ReadPackage(const std::string& image, Package& package, std::string& error) {
  package = Package();
  package.image = image;
  const std::int64_t size = std::int64_t(image.size());
  std::uint64_t packEnd = 0;
  if (IsPE(image)) packEnd = PackEndFromImage(image);
  package.packEndSet = packEnd > 0;
  package.end = package.packEndSet ? std::int64_t(packEnd) : size;
  if (package.end > size || package.end < std::int64_t(pack::kTrailerSize))
    return error = "PackEnd outside the file", false;
  if (LoadU32(image, package.end - 4) != pack::kTrailerSize) return error = "no 74-byte trailer", false;
  package.trailerAt = package.end - pack::kTrailerSize;
  std::memcpy(&package.trailer, image.data() + package.trailerAt, pack::kTrailerSize);
  if (package.trailer.PackMagic != pack::kPackMagic) return error = "no package (magic number)", false;
  const int headers = package.trailer.HeaderCount ? package.trailer.HeaderCount : pack::kHeaderCountPlain;
  std::int64_t at = package.trailer.DataStart;
  for (int i = 0; package.end - at > std::int64_t(pack::kTrailerSize); ++i) {
    Block block;
    block.at = at;
    block.n = std::int32_t(LoadU32(image, at));
    block.header = i < headers;
    if (block.n == INT32_MIN || at + 4 + std::int64_t(block.Size()) > package.trailerAt)
      return error = "block at " + std::to_string(at) + " runs past the trailer", false;
    const std::string bytes = image.substr(std::size_t(at + 4), block.Size());
    if (!block.header) {
      try {
        block.payload = block.n > 0 ? InflateString(bytes) : bytes;
      } catch (const EZLibError& e) {
        return error = "block at " + std::to_string(at) + ": " + e.what(), false;
      }
    }
    at += 4 + std::int64_t(block.Size());
    package.blocks.push_back(std::move(block));
  }
  if (package.blocks.size() <= std::size_t(headers)) return error = "no data blocks", false;
  return true;
}

bool FixCheckSum(std::string& image) {
  const std::int64_t size = std::int64_t(image.size());
  const std::uint64_t packEnd = IsPE(image) ? PackEndFromImage(image) : 0;
  const std::int64_t end = packEnd > 0 ? std::int64_t(packEnd) : size;
  if (end > size || end < 4) return false;
  const std::int64_t length = std::int32_t(LoadU32(image, end - 4));
  if (length < 4 || length > end) return false;
  const std::uint32_t trailerSize = std::uint32_t(std::min<std::int64_t>(pack::kTrailerSize, length));
  const std::int64_t field = end - length + std::int64_t(offsetof(pack::PackTrailer, CheckSum));
  if (trailerSize < offsetof(pack::PackTrailer, CheckSum) + 4 + 4) return false;  // the reader never sees it
  StoreU32(image, field, PackCheckSumOfImage(image, trailerSize));
  // Where the field lies inside the summed range, storing it changed the sum.
  return PackCheckSumOfImage(image, trailerSize) == LoadU32(image, field);
}

void MakeVariants(const Package& package, const Plan& plan, const std::function<bool(const Variant&)>& sink) {
  Maker(package, plan, sink).Run();
}

int Main(const std::vector<std::string>& args) {
  std::string input, outDir;
  Plan plan;
  bool listOnly = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--full") {
      plan.full = true;
    } else if (arg == "--list") {
      listOnly = true;
    } else if (arg == "--bomb-mb" && i + 1 < args.size()) {
      std::int64_t mb = 0;
      if (!TryParseInt64(args[++i], mb) || mb < 0) return std::cerr << "zmutate: --bomb-mb needs a number\n", 2;
      plan.bombBytes = std::uint64_t(mb) << 20;
    } else if (arg == "-h" || arg == "--help") {
      std::cout << "usage: zmutate PACKAGE OUTDIR [--full] [--bomb-mb N] [--list]\n"
                   "Writes damaged copies of PACKAGE (an installation file made by zpack) into\n"
                   "OUTDIR as NAME.exe and prints one line per copy: NAME, \"direct\" or \"span\"\n"
                   "(the stub's code is damaged: run an intact stub with /SpanDiskFName1=), and\n"
                   "\"refuse\" (must be reported as damaged) or \"any\" (damaged or installed).\n"
                   "  --full        every offset and bit of the sweep, not a sample\n"
                   "  --bomb-mb N   content of the decompression bomb in MB (default 1024; 0: none)\n"
                   "  --list        print the copies without writing them\n";
      return 0;
    } else if (input.empty()) {
      input = arg;
    } else if (outDir.empty()) {
      outDir = arg;
    } else {
      std::cerr << "zmutate: unexpected argument " << arg << "\n";
      return 2;
    }
  }
  if (input.empty() || (outDir.empty() && !listOnly)) return std::cerr << "zmutate: PACKAGE OUTDIR needed\n", 2;
  std::string image, error;
  Package package;
  if (!ReadFileBytes(input, image)) return std::cerr << "zmutate: cannot read " << input << "\n", 1;
  if (!ReadPackage(image, package, error)) return std::cerr << "zmutate: " << input << ": " << error << "\n", 1;
  bool ok = true;
  MakeVariants(package, plan, [&](const Variant& variant) {
    if (!listOnly) {
      std::ofstream out(outDir + "/" + variant.name + ".exe", std::ios::binary | std::ios::trunc);
      out.write(variant.image.data(), std::streamsize(variant.image.size()));
      if (!out.flush()) {
        std::cerr << "zmutate: cannot write " << variant.name << " in " << outDir << "\n";
        return ok = false;
      }
    }
    std::cout << variant.name << '\t' << (variant.viaSpan ? "span" : "direct") << '\t'
              << (variant.mustRefuse ? "refuse" : "any") << '\n';
    return true;
  });
  return ok ? 0 : 1;
}

}  // namespace zmutate
