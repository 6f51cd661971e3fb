// updatecheck AGENT FILE update|inform: whether the agent AGENT would accept the downloaded
// FILE (CheckDownloadTokenOf with AGENT's package token). Prints where AGENT's publisher
// comes from ("agent=record|signature|unsigned"), "signature=none|verified|broken" for an
// update (- for an inform text) and "accepted=0|1".
#include <cstdio>
#include <string>

#include "agent/DownloadToken.h"
#include "system/DllSafety.h"
#include "package/PackX.h"
#include "package/SignerRule.h"

int main(int argc, char** argv) {
  RestrictDllSearch();
  if (argc != 4) {
    std::fputs("usage: updatecheck AGENT FILE update|inform\n", stderr);
    return 2;
  }
  const std::string agent = argv[1], file = argv[2], kind = argv[3];
  std::string ownToken, signer;
  if (!TryUnscrambleToken(TGFileInfo(agent).StubToken(false), ownToken)) std::puts("agent.token=none");
  const ProgramSigner agentSigner = ReadProgramSigner(agent);
  std::printf("agent=%s\n", agentSigner.fromRecord ? "record"
                            : agentSigner.signedBy ? "signature"
                                                   : "unsigned");
  if (kind == "inform") {
    std::puts("signature=-");  // texts carry none
  } else {
    const SignatureState state = ReadFileSignature(file, signer);
    std::printf("signature=%s\n",
                state == SignatureState::None ? "none" : state == SignatureState::Verified ? "verified" : "broken");
  }
  const bool ok = CheckDownloadTokenOf(file, kind == "inform" ? DownloadKind::Inform : DownloadKind::Update, ownToken, agent);
  std::printf("accepted=%d\n", ok ? 1 : 0);
  return 0;
}
