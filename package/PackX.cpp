#include "package/PackX.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "system/Utils.h"
#include "system/ZSub.h"
#include "ui/LangStrings.h"

#ifdef _WIN32
#include <share.h>
#endif
#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

// Header texts are short (a language table is the largest); a length beyond this is damage.
constexpr std::int64_t kMaxHeaderText = 16 * 1024 * 1024;

std::uint32_t LoadU32(const unsigned char* bytes) {
  return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
         std::uint32_t(bytes[3]) << 24;
}

bool ReadU32At(std::FILE* file, std::int64_t offset, std::uint32_t& value) {
  unsigned char bytes[4];
  if (!ReadAt(file, offset, bytes, sizeof bytes)) return false;
  value = LoadU32(bytes);
  return true;
}

// Sum of count little-endian 32-bit words (the byte order of every machine the stub and
// its tools run on), four lanes at a time.
std::uint32_t SumWords(const unsigned char* bytes, std::size_t count) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the package's words are little-endian");
  std::uint32_t lane[4] = {0, 0, 0, 0}, word[4];
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4, bytes += sizeof word) {
    std::memcpy(word, bytes, sizeof word);
    lane[0] += word[0];
    lane[1] += word[1];
    lane[2] += word[2];
    lane[3] += word[3];
  }
  for (; i < count; ++i, bytes += 4) lane[0] += LoadU32(bytes);
  return lane[0] + lane[1] + lane[2] + lane[3];
}

#if defined(__i386__) || defined(__x86_64__)
// The same with the four lanes in one SSE2 register: the sum then costs about what reading
// the file does. The stub's own code assumes no SSE2 (a 32-bit build), so it asks the CPU.
using Lanes = std::uint32_t __attribute__((vector_size(16)));

__attribute__((target("sse2"))) std::uint32_t SumWordsSse2(const unsigned char* bytes, std::size_t count) {
  Lanes sum = {0, 0, 0, 0}, more = {0, 0, 0, 0};
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8, bytes += 32) {
    Lanes a, b;
    std::memcpy(&a, bytes, sizeof a);
    std::memcpy(&b, bytes + 16, sizeof b);
    sum += a;
    more += b;
  }
  sum += more;
  return sum[0] + sum[1] + sum[2] + sum[3] + SumWords(bytes, count - i);
}

std::uint32_t SumWordsFast(const unsigned char* bytes, std::size_t count) {
  static const bool sse2 = [] {
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & bit_SSE2) != 0;
  }();
  return sse2 ? SumWordsSse2(bytes, count) : SumWords(bytes, count);
}
#else
std::uint32_t SumWordsFast(const unsigned char* bytes, std::size_t count) { return SumWords(bytes, count); }
#endif

// The checksum walk over a byte source that hands out consecutive chunks from start. The
// sum is defined over pieces of kCheckSumBlock bytes (each full one that ends before the
// last 4 bytes adds kCheckSumOff); the source is read in larger chunks, a multiple of it.
// The source is a file or, without one, an image in memory.
std::uint32_t CheckSumWalk(std::int64_t end, std::uint32_t trailerSize, bool fromPackEnd, std::FILE* file,
                           const std::string* image) {
  constexpr std::size_t kPiece = pack::kCheckSumBlock, kChunk = 64 * kPiece;
  std::int64_t remaining = end - std::int64_t(trailerSize);
  std::int64_t offset = 0;
  if (fromPackEnd) {
    remaining -= pack::kCheckSumSkip;
    offset = pack::kCheckSumSkip;
  }
  std::uint32_t sum = 0;
  std::vector<unsigned char> storage(kChunk);
  unsigned char* const buffer = storage.data();
  bool more = true;
  while (more) {
    std::size_t chunk = 0;
    if (file) {
      if (SeekTo(file, offset)) chunk = std::fread(buffer, 1, kChunk, file);
    } else if (offset < std::int64_t(image->size())) {
      chunk = std::min<std::size_t>(kChunk, image->size() - std::size_t(offset));
      std::memcpy(buffer, image->data() + offset, chunk);
    }
    offset += std::int64_t(chunk);
    // A short chunk is the end: its pieces run up to the first short one (maybe empty).
    for (std::size_t at = 0; more && (at < chunk || chunk < kChunk); at += kPiece) {
      const std::size_t got = chunk - at < kPiece ? chunk - at : kPiece;
      const std::size_t words = got / 4;
      // Word k of the piece counts while remaining - 4 * (k + 1) > 4.
      const std::int64_t counted = remaining > 8 ? std::min<std::int64_t>((remaining - 5) / 4, words) : 0;
      sum += SumWordsFast(buffer + at, std::size_t(counted));
      remaining -= std::int64_t(4 * words);
      if (remaining > 4) sum += pack::kCheckSumOff;
      more = got == kPiece;
    }
  }
  return sum;
}

// One generator for the process: the clock-seeded RandomRange would hand out the same
// value to calls in the same tick.
std::mt19937& Generator() {
  static std::mt19937 generator(std::uint32_t(std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
                                std::uint32_t(reinterpret_cast<std::uintptr_t>(&generator)));
  return generator;
}

unsigned RandomBelow(unsigned bound) { return std::uniform_int_distribution<unsigned>(0, bound - 1)(Generator()); }

// A decimal number below 99999, never the same twice in a row, so that two tokens that
// both fail to decode are not equal to each other either.
std::string FallbackToken() {
  static unsigned last = 99999;
  unsigned value;
  do value = RandomBelow(99999);
  while (value == last);
  last = value;
  return std::to_string(value);
}

std::string FileNamePart(const std::string& path) {
  // A URL ends in the name as well, so "/" separates too.
  return ExtractFileName(path);
}

}  // namespace

// ---- Files ----

#ifdef _WIN32
std::FILE* (*PackFileOpener)(const std::string& fileName) = nullptr;
#endif

PackFile::PackFile(const std::string& fileName) {
  if (fileName.empty()) return;
#ifdef _WIN32
  file_ = PackFileOpener ? PackFileOpener(fileName) : _fsopen(fileName.c_str(), "rb", _SH_DENYNO);
#else
  file_ = std::fopen(fileName.c_str(), "rb");
#endif
}

PackFile::~PackFile() {
  if (file_) std::fclose(file_);
}

bool SeekTo(std::FILE* file, std::int64_t offset) {
  if (!file || offset < 0) return false;
#ifdef _WIN32
  return _fseeki64(file, offset, SEEK_SET) == 0;
#else
  return fseeko(file, off_t(offset), SEEK_SET) == 0;
#endif
}

std::int64_t FileSize(std::FILE* file) {
  if (!file) return -1;
#ifdef _WIN32
  std::int64_t here = _ftelli64(file);
  if (here < 0 || _fseeki64(file, 0, SEEK_END) != 0) return -1;
  std::int64_t size = _ftelli64(file);
  _fseeki64(file, here, SEEK_SET);
#else
  std::int64_t here = ftello(file);
  if (here < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
  std::int64_t size = ftello(file);
  fseeko(file, off_t(here), SEEK_SET);
#endif
  return size;
}

bool ReadAt(std::FILE* file, std::int64_t offset, void* buffer, std::size_t size) {
  if (!SeekTo(file, offset)) return false;
  return std::fread(buffer, 1, size, file) == size;
}

// ---- PE file and PackEnd ----

bool IsPEFile(std::FILE* file) {
  char mz[2], pe[2];
  return ReadAt(file, 0, mz, 2) && ReadAt(file, pack::kPeHeaderOffset, pe, 2) && mz[0] == 'M' && mz[1] == 'Z' &&
         pe[0] == 'P' && pe[1] == 'E';
}

bool IsPEFile(const std::string& fileName) {
  PackFile file(fileName);
  return file && IsPEFile(file.get());
}

std::uint64_t ReadPackEndPos(std::FILE* file) {
  std::uint32_t high = 0, low = 0;
  if (!ReadU32At(file, pack::kPackEndPosHigh, high) || !ReadU32At(file, pack::kPackEndPosLow, low)) return 0;
  return std::uint64_t(high) << 32 | low;
}

std::uint64_t PackEndFromImage(const std::string& image) {
  if (image.size() < pack::kPackEndPosLow + 4) return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
  return std::uint64_t(LoadU32(bytes + pack::kPackEndPosHigh)) << 32 | LoadU32(bytes + pack::kPackEndPosLow);
}

std::int64_t PackEndOf(std::FILE* file) {
  std::int64_t size = FileSize(file);
  if (size < 0) return -1;
  if (IsPEFile(file)) {
    std::uint64_t end = ReadPackEndPos(file);
    if (end > 0) return end > std::uint64_t(INT64_MAX) ? INT64_MAX : std::int64_t(end);
  }
  return size;
}

// ---- Trailer ----

void ReadTrailer(std::FILE* file, PackTrailer& trailer) {
  std::int64_t size = FileSize(file);
  std::int64_t end = PackEndOf(file);
  std::uint32_t rawLength = 0;
  // PackEndPos beyond the file (or too small to hold a length) is not followed.
  if (size >= 4 && end >= 4 && end <= size && ReadU32At(file, end - 4, rawLength)) {
    std::int64_t length = std::int32_t(rawLength);
    if (length >= 4 && length <= end) {
      std::size_t n = std::size_t(std::min<std::int64_t>(pack::kTrailerSize, length));
      unsigned char bytes[pack::kTrailerSize] = {};
      if (SeekTo(file, end - length)) {
        std::size_t got = std::fread(bytes, 1, n - 4, file);
        std::memcpy(&trailer, bytes, got);
        trailer.TrailerSize = std::uint32_t(n);
      }
    }
  }
  if (trailer.HeaderCount == 0) trailer.HeaderCount = pack::kHeaderCountPlain;
}

void ReadTrailer(const std::string& fileName, PackTrailer& trailer) {
  PackFile file(fileName);
  if (file) ReadTrailer(file.get(), trailer);
}

// ---- Checksum ----

std::uint32_t PackCheckSum(const std::string& fileName, std::uint32_t trailerSize) {
  PackFile file(fileName);
  if (!file) return 0;  // as if nothing was read
  std::int64_t size = FileSize(file.get());
  if (size < 0) return 0;
  if (std::uint64_t(size) > pack::kCheckSumMaxFile) return pack::kCheckSumOff;
  std::int64_t end = size;
  std::uint32_t low = 0;
  bool fromPackEnd = IsPEFile(file.get()) && ReadU32At(file.get(), pack::kPackEndPosLow, low) && low != 0;
  if (fromPackEnd) end = low;
  return CheckSumWalk(end, trailerSize, fromPackEnd, file.get(), nullptr);
}

std::uint32_t PackCheckSumOfImage(const std::string& image, std::uint32_t trailerSize) {
  if (image.size() > pack::kCheckSumMaxFile) return pack::kCheckSumOff;
  const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
  bool pe = image.size() >= pack::kPeHeaderOffset + 2 && image.compare(0, 2, "MZ") == 0 &&
            image.compare(pack::kPeHeaderOffset, 2, "PE") == 0;
  std::uint32_t low = pe ? LoadU32(bytes + pack::kPackEndPosLow) : 0;
  bool fromPackEnd = low != 0;
  std::int64_t end = fromPackEnd ? std::int64_t(low) : std::int64_t(image.size());
  return CheckSumWalk(end, trailerSize, fromPackEnd, nullptr, &image);
}

// ---- Tokens ----

std::string UnscrambleToken(const std::string& text) {
  std::string token;
  return TryUnscrambleToken(text, token) ? token : FallbackToken();
}

bool TryUnscrambleToken(const std::string& text, std::string& token) {
  token.clear();
  std::string hex = text;
  for (char& ch : hex) ch = char((unsigned char)ch - 50);
  std::string d = HexToBytes(hex);
  std::size_t n = d.size();
  if (n <= 4) return false;
  unsigned sum = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (i != n - 2) sum += (unsigned char)d[i];
  if ((unsigned char)d[n - 2] != (sum & 0xFF)) return false;
  unsigned char key = (unsigned char)d[0] ^ (unsigned char)d[n - 1];
  for (std::size_t i = 1; i + 1 < n; ++i) d[i] = char((unsigned char)d[i] ^ key);
  std::int64_t before = (unsigned char)d[1], after = (unsigned char)d[2];
  std::int64_t length = std::int64_t(n) - before - after - 4;
  // An empty or negative length is damage: a real token is never empty.
  if (length <= 0) return false;
  token = d.substr(std::size_t(before + 3), std::size_t(length));
  return true;
}

void SeedScrambling(std::uint32_t seed) {
  Generator().seed(seed);
}

std::string ScrambleToken(const std::string& token) {
  const std::size_t m = token.size();
  if (m == 0 || m > 200) return "";
  // D: key^last, padding before, padding after (+1 for the sum), the padding,
  // the token, the padding, the sum, last; bytes 2..n-1 are xored with the key.
  std::size_t padding = m <= 19 ? 20 - m : 1;
  std::size_t before = RandomBelow(unsigned(padding));
  std::size_t after = padding - before;
  std::size_t n = m + before + after + 4;
  auto random = [] { return char(RandomBelow(256)); };
  unsigned char key = (unsigned char)(1 + RandomBelow(255));
  std::string d(n, '\0');
  d[n - 1] = random();
  d[0] = char(key ^ (unsigned char)d[n - 1]);
  d[1] = char(before);
  d[2] = char(after);
  for (std::size_t i = 0; i < before; ++i) d[3 + i] = random();
  token.copy(&d[3 + before], m);
  for (std::size_t i = 3 + before + m; i < n - 2; ++i) d[i] = random();
  for (std::size_t i = 1; i + 1 < n; ++i) d[i] = char((unsigned char)d[i] ^ key);
  unsigned sum = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (i != n - 2) sum += (unsigned char)d[i];
  d[n - 2] = char(sum & 0xFF);
  std::string text = BytesToHex(d);
  for (char& ch : text) ch = char((unsigned char)ch + 50);
  return text;
}

void SplitInformText(const std::string& text, std::string& token, std::string& body) {
  std::string plain = ScrambleText(text, false, false);
  std::string fields[3];
  body.clear();
  std::size_t at = plain.find('|');
  bool complete = at != std::string::npos;
  for (auto& field : fields) {
    if (!complete) break;
    std::size_t next = plain.find('|', at + 1);
    if (next == std::string::npos) {
      complete = false;
      break;
    }
    field = plain.substr(at + 1, next - at - 1);
    at = next;
  }
  if (complete) body = plain.substr(at + 1);
  token = UnscrambleToken(fields[0]);
}

bool InformTextCarriesToken(const std::string& text, const std::string& ownToken) {
  // A scrambled text holds bytes of any value: what it unscrambles to is looked at.
  if (ownToken.empty() || ScrambleText(text, false, false).find('\0') != std::string::npos) return false;
  std::string token, body;
  SplitInformText(text, token, body);
  return token == ownToken;
}

bool MakeInformText(const std::string& token, const std::string& body, bool scrambled, std::string& text) {
  text.clear();
  const std::string tokenField = ScrambleToken(token);
  if (tokenField.empty()) return false;
  text = "Inform|" + tokenField + "|||" + body;
  if (scrambled) text = ScrambleText(text, true, false, 33 + RandomBelow(90));
  return true;
}

// ---- TGFileInfo ----

TGFileInfo::TGFileInfo(const std::string& fileName) {
  PackFile file(fileName);
  if (!file) return;
  ReadTrailer(file.get(), Trailer);
  if (!HasPackage()) return;
  std::int64_t size = FileSize(file.get());
  std::int64_t end = std::min(PackEndOf(file.get()), size);
  std::string* texts[] = {&LangTable, &StubInfo, &WebInfo};
  int count = Trailer.HeaderCount >= pack::kHeaderCountWeb ? 3 : 2;
  for (int i = 0; i < count; ++i) {
    std::int64_t offset = Trailer.DataStart;
    std::uint32_t rawLength = 0;
    if (!ReadU32At(file.get(), offset, rawLength)) return;
    std::int64_t length = std::int32_t(rawLength);
    // A length outside the package stops the reading: the texts after it would be garbage.
    if (length < 0 || length > kMaxHeaderText || offset + 4 + length > end ||
        offset + 4 + length > std::int64_t(UINT32_MAX))
      return;
    std::string text(std::size_t(length), '\0');
    if (length > 0 && !ReadAt(file.get(), offset + 4, &text[0], text.size())) return;
    *texts[i] = std::move(text);
    Trailer.DataStart = std::uint32_t(offset + 4 + length);
  }
  headersRead_ = true;
}

double TGFileInfo::SpaceNeededForCluster(std::uint32_t clusterBytes) const {
  if (!IsValidPackage()) return 0;
  double result = Trailer.SpaceNeeded[0];
  for (int i = 1; i < pack::kSpaceSlots; ++i)
    if (clusterBytes >= pack::SpaceSlotCluster(i)) result = Trailer.SpaceNeeded[i];
  return result;
}

std::string TGFileInfo::WebUrl() const { return SUB::GetItem(WebInfo, 0); }
std::string TGFileInfo::WebFileName() const { return SUB::GetItem(WebInfo, 1); }
bool TGFileInfo::WebNoLocal() const { return SUB::GetItem(WebInfo, 2) == "1"; }
std::string TGFileInfo::WebSize() const { return SUB::GetItem(WebInfo, 4); }

std::string TGFileInfo::WebToken(bool unscramble) const {
  std::string token = SUB::GetItem(WebInfo, 3);
  return unscramble ? UnscrambleToken(token) : token;
}

std::string TGFileInfo::UpdateUrl() const { return SUB::GetItem(StubInfo, 0); }
std::string TGFileInfo::AgentExeName() const { return SUB::GetItem(StubInfo, 2); }
bool TGFileInfo::HiddenByDefault() const { return SUB::GetItem(StubInfo, 4) == "1"; }

std::uint64_t TGFileInfo::LargestSetupFile() const {
  const std::string text = SUB::GetItem(StubInfo, 5);
  std::int64_t bytes = 0;
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  return digits && TryParseInt64(text, bytes) && bytes > 0 ? static_cast<std::uint64_t>(bytes)
                                                           : kDefaultLargestSetupFile;
}

std::string TGFileInfo::StubToken(bool unscramble) const {
  std::string token = SUB::GetItem(StubInfo, 3);
  return unscramble ? UnscrambleToken(token) : token;
}

std::string TGFileInfo::InfoFileName() const { return FileNamePart(SUB::GetItem(StubInfo, 1)); }

std::string TGFileInfo::OriginalFileName() const {
  std::string name = InfoFileName();
  return name.substr(0, name.find('.')) + ".original";
}

bool TGFileInfo::SameWebToken(const TGFileInfo& other) const { return WebToken(true) == other.WebToken(true); }

std::string TGFileInfo::GetLangString(const std::string& key, const std::string& def) const {
  return ::GetLangString(LangTable, key, def);
}
int TGFileInfo::GetLangCharset() const { return ::GetLangCharset(LangTable); }
int TGFileInfo::GetLangFontSize() const { return ::GetLangFontSize(LangTable); }
std::string TGFileInfo::GetLangFontName() const { return ::GetLangFontName(LangTable); }
