// Token descrambling of arbitrary text; a decoded token scrambles back to itself. The
// agent's signer record read from the same bytes; a record read writes back to itself.
#include <cstdlib>

#include "package/PackX.h"
#include "package/SignerRuleLogic.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string token;
  if (TryUnscrambleToken(text, token)) {
    std::string again;
    if (token.size() <= 200 && (!TryUnscrambleToken(ScrambleToken(token), again) || again != token)) std::abort();
  }
  (void)UnscrambleToken(text);
  std::string informToken, body;
  SplitInformText(text, informToken, body);
  std::string identity;
  if (ParseSignerRecord(text, identity) && SignerRecord(identity) != text) std::abort();
  return 0;
}
