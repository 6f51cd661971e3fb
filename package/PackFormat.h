#pragma once
// Layout of the package appended to an installation file. Shared by the stub (reader)
// and the builder (zpack), so both agree byte for byte. All integers are little-endian.
//
//   0 ..                   the stub executable; bytes 248..255 of its DOS header hold
//                          PackEnd (high, low), 0 = the package ends at the physical end
//   DataStart ..           HeaderCount header blocks (int32 length + text), then the
//                          data blocks (int32 n: n > 0 zlib stream of n bytes,
//                          n <= 0 -n stored bytes; payload = name part, 0x00, content)
//   PackEnd - 74 .. PackEnd  PackTrailer; its last 4 bytes are its own length
//   PackEnd .. end          anything (a code-signing block)
#include <cstddef>
#include <cstdint>

namespace pack {

constexpr std::uint32_t kPackMagic = 0x4A3B2C1Du;
constexpr std::uint32_t kTrailerSize = 74;

// PackEnd in the DOS header of the stub; honoured only when "MZ" is at 0 and "PE" at 256.
constexpr std::uint32_t kPackEndPosHigh = 248;
constexpr std::uint32_t kPackEndPosLow = 252;
constexpr std::uint32_t kPeHeaderOffset = 256;
// With PackEndPos set, the checksum starts here (the DOS and PE headers stay out of it).
constexpr std::uint32_t kCheckSumSkip = 512;

// A checksum of this value (in the trailer or as computed) disables the check.
constexpr std::uint32_t kCheckSumOff = 1234;
// Files above this size are not summed; their checksum is kCheckSumOff.
constexpr std::uint64_t kCheckSumMaxFile = 52428800;
constexpr std::size_t kCheckSumBlock = 4096;

// Content bytes per data block; larger files span consecutive blocks with the same path.
constexpr std::size_t kMaxBlockContent = 5242880;

// Header blocks: language table, StubInfo, WebInfo (web-install packages only).
constexpr std::uint8_t kHeaderCountPlain = 2;
constexpr std::uint8_t kHeaderCountWeb = 3;
// The language table of a package without translations.
constexpr char kEmptyLangTable[] = "\x02";
constexpr char kLangTableSeparator = '\x02';

// Marks the engine in a block's path: "Engine.exe*arguments".
constexpr char kEngineMark = '*';

// PackFlags bits.
constexpr std::uint8_t kFlagShowTempNote = 0x01;
constexpr std::uint8_t kFlagNextVolume = 0x02;
constexpr std::uint8_t kFlagSpanCdLauncher = 0x04;
constexpr std::uint8_t kFlagActivityBar = 0x08;
constexpr std::uint8_t kFlagAgentLog = 0x10;
constexpr std::uint8_t kFlagsKnown = 0x1F;

// SpaceNeeded: element 0 for clusters below 512 bytes, element i (1..8) for clusters of at
// least 256 << i bytes (512 .. 65536).
constexpr int kSpaceSlots = 9;
constexpr std::uint32_t SpaceSlotCluster(int i) { return i <= 0 ? 1u : (256u << i); }

// Packed: read members by value (no references or pointers to them; most are unaligned).
#pragma pack(push, 1)
struct PackTrailer {
  std::uint8_t Reserved0;        // 1 in packages written by zpack
  std::uint8_t HeaderCount;      // 2 or 3; 0 is read as 2
  std::uint8_t Reserved2[2];
  std::uint32_t DataStart;       // file offset of the first header block
  std::uint32_t FilesCount;      // distinct files (range of the progress bar)
  std::uint32_t PackMagic;       // kPackMagic
  std::uint32_t CheckSum;        // PackCheckSum of the file, or kCheckSumOff
  std::uint8_t Reserved20[8];
  std::uint32_t SpaceNeeded[kSpaceSlots];
  std::uint8_t Reserved64;
  std::uint8_t PackFlags;
  std::uint8_t IsWebInstall;
  std::uint8_t AskBeforeDownload;
  std::uint8_t MakeAgent;
  std::uint8_t ThisIsAgent;
  std::uint32_t TrailerSize;     // 74; the last 4 bytes before PackEnd
};
#pragma pack(pop)

static_assert(sizeof(PackTrailer) == kTrailerSize, "trailer is 74 packed bytes");
static_assert(offsetof(PackTrailer, HeaderCount) == 1, "trailer layout");
static_assert(offsetof(PackTrailer, DataStart) == 4, "trailer layout");
static_assert(offsetof(PackTrailer, FilesCount) == 8, "trailer layout");
static_assert(offsetof(PackTrailer, PackMagic) == 12, "trailer layout");
static_assert(offsetof(PackTrailer, CheckSum) == 16, "trailer layout");
static_assert(offsetof(PackTrailer, SpaceNeeded) == 28, "trailer layout");
static_assert(offsetof(PackTrailer, Reserved64) == 64, "trailer layout");
static_assert(offsetof(PackTrailer, PackFlags) == 65, "trailer layout");
static_assert(offsetof(PackTrailer, IsWebInstall) == 66, "trailer layout");
static_assert(offsetof(PackTrailer, ThisIsAgent) == 69, "trailer layout");
static_assert(offsetof(PackTrailer, TrailerSize) == 70, "trailer layout");
static_assert(kPackEndPosLow + 4 <= kPeHeaderOffset, "PackEndPos lies before the PE header");
// The record is copied to and from file bytes as is.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the package format is little-endian");

}  // namespace pack
