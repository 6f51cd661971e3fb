// zlib inflate of arbitrary bytes: the streaming inflater, fed in two pieces, gives the
// same output as the whole-buffer one, and output stays bounded.
#include <cstdlib>
#include <string>

#include "package/ZLibOpen.h"

namespace {

constexpr std::size_t kMaxOutput = 4 << 20;

bool Append(void* context, const char* data, std::size_t size) {
  std::string& out = *static_cast<std::string*>(context);
  out.append(data, size);
  return out.size() <= kMaxOutput;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < 1) return 0;
  const std::size_t cut = data[0] % size;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string whole;
  bool wholeOk = true;
  try {
    whole = InflateString(input, kMaxOutput);
  } catch (const EZLibError&) {
    wholeOk = false;
  }
  std::string streamed;
  bool streamOk = true;
  try {
    TInflater inflater;
    const std::size_t first = cut < input.size() ? cut : input.size();
    if (inflater.Feed(input.data(), first, Append, &streamed))
      inflater.Feed(input.data() + first, input.size() - first, Append, &streamed);
    inflater.RequireFinished();
  } catch (const EZLibError&) {
    streamOk = false;
  }
  if (wholeOk && (!streamOk || streamed != whole)) std::abort();
  if (wholeOk && whole.size() > kMaxOutput) std::abort();
  return 0;
}
