// The data-block walk of an extraction over arbitrary bytes: block bounds, inflate (or
// stored), the split at the first 0x00, the name part and the path checks, in the order
// the extraction applies them. Nothing is read outside the image, output stays bounded.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "package/PackFormat.h"
#include "package/SetupLogic.h"
#include "package/UnPackLogic.h"
#include "package/ZLibOpen.h"

namespace {

constexpr std::uint64_t kMaxContent = 1 << 20;  // per block; a bomb stops there

struct Sink {
  std::uint64_t content = 0;
};

bool OnName(void*, const std::string& namePart) {
  if (namePart.size() > TPayloadSplitter::MaxNamePart) std::abort();
  TBlockName name;
  const bool hasPath = ParseNamePart(namePart, name);
  if (hasPath && name.Path.find(pack::kEngineMark) != std::string::npos) std::abort();
  bool device = false;
  std::string why;
  if (!name.Engine.empty()) IsSafePackagePath(EngineName(name.Engine), &why, &device);
  return hasPath && IsSafePackagePath(name.Path, &why, &device);
}

bool OnContent(void* context, const char*, std::size_t size) {
  Sink& sink = *static_cast<Sink*>(context);
  sink.content += size;
  return sink.content < kMaxContent;
}

bool FeedSplitter(void* context, const char* data, std::size_t size) {
  return static_cast<TPayloadSplitter*>(context)->Feed(data, size);
}

}  // namespace

// The input is one volume's blocks followed by a trailer of trailerSize bytes (first byte
// of the input picks it, 4..74), so that short trailers are walked too.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < 1) return 0;
  const std::int64_t trailerSize = 4 + data[0] % (pack::kTrailerSize - 3);
  const unsigned char* image = data + 1;
  const std::int64_t end = std::int64_t(size - 1);
  const std::int64_t blocksEnd = end - trailerSize;
  std::int64_t position = 0;
  TInflater inflater;
  while (end - position > std::int64_t(pack::kTrailerSize)) {
    if (position + 4 > end) std::abort();
    std::int32_t n;
    std::memcpy(&n, image + position, 4);
    bool compressed = false;
    const std::int64_t length = BlockLength(n, position, blocksEnd, compressed);
    if (length < 0) break;
    if (position + 4 + length > blocksEnd) std::abort();
    const char* block = reinterpret_cast<const char*>(image + position + 4);
    Sink sink;
    TPayloadSplitter splitter(OnName, OnContent, &sink);
    try {
      if (compressed) {
        inflater.Reset();
        inflater.Feed(block, std::size_t(length), FeedSplitter, &splitter);
      } else {
        splitter.Feed(block, std::size_t(length));
      }
    } catch (const EZLibError&) {
      break;
    }
    position += 4 + length;
  }
  return 0;
}
