#include "agent/DownloadToken.h"

#include "driver/StubGlob.h"
#include "package/PackX.h"
#include "package/SignerRule.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/ZDebug.h"

bool CheckDownloadTokenOf(const std::string& fileName, DownloadKind kind, const std::string& ownToken,
                          const std::string& agentFile) {
  if (ownToken.empty()) return false;
  if (kind == DownloadKind::Inform)
    return InformTextCarriesToken(ReadFilePart(fileName, kInformTextMax), ownToken);
  if (kind != DownloadKind::Update) return false;
  std::string token;
  if (!TryUnscrambleToken(TGFileInfo(fileName).StubToken(false), token) || token != ownToken) return false;
  std::string reason;
  if (UpdateSignatureOk(fileName, agentFile, reason)) return true;
  Output() << TracePid() << " CheckDownloadToken() --- signature refused: " << reason << EndLine;
  AgentLog("ERROR: the update's signature is refused: " + reason);
  return false;
}

bool CheckDownloadToken(const std::string& fileName, DownloadKind kind) {
  std::string ownToken;
  if (!OwnFileInfo || !TryUnscrambleToken(OwnFileInfo->StubToken(false), ownToken)) return false;
  return CheckDownloadTokenOf(fileName, kind, ownToken, ExeFileName());
}
