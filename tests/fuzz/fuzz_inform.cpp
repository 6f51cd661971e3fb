// The inform text as downloaded: unscrambling (plain and hex), the split into token and
// body, and the publisher's side read back. Scrambling is undone exactly; a made text
// splits into the token and body it was made from.
#include <cstdlib>
#include <string>
#include <vector>

#include "package/PackX.h"
#include "system/Utils.h"
#include "tests/fuzz/FuzzFields.h"

namespace {
const std::string kPrefix = "Scrambled=01";
}

// Fields: a downloaded text, a token and a body.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::vector<std::string> f = FuzzFields(data, size, 3, '\0');
  const std::string& text = f[0];
  for (bool hex : {false, true}) {
    const std::string plain = ScrambleText(text, false, hex);
    // A text not marked as scrambled comes back as it is.
    const std::string marked = hex ? HexToBytes(text) : text;
    if (!StartsWith(kPrefix, marked, true) && plain != text) std::abort();
    if (!text.empty() && !StartsWith(kPrefix, text, true)) {
      const std::string scrambled = ScrambleText(text, true, hex);
      if (scrambled == text || ScrambleText(scrambled, false, hex) != text) std::abort();
    }
  }
  std::string token, body;
  SplitInformText(text, token, body);

  std::string made;
  for (bool scrambled : {false, true}) {
    if (!MakeInformText(f[1], f[2], scrambled, made)) {
      if (!f[1].empty() && f[1].size() <= 200) std::abort();
      break;
    }
    SplitInformText(made, token, body);
    if (token != f[1] || body != f[2]) std::abort();
  }
  return 0;
}
