#include "package/SignerRule.h"

#include <vector>

#include <windows.h>
#include <wintrust.h>
#include <softpub.h>

#include "system/DllSafety.h"
#include "package/PackX.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/ZDebug.h"

namespace {

struct WinTrust {
  UniqueLibrary library;
  decltype(&::WinVerifyTrust) verify = nullptr;
  decltype(&::WTHelperProvDataFromStateData) provData = nullptr;
  decltype(&::WTHelperGetProvSignerFromChain) provSigner = nullptr;
};

// Loaded on first use and kept for the process.
const WinTrust& WinTrustLibrary() {
  static WinTrust trust = [] {
    WinTrust t;
    t.library.reset(LoadSystemLibrary("wintrust.dll"));
    if (!t.library) return t;
    t.verify = Z_PROC(t.library.get(), WinVerifyTrust);
    t.provData = Z_PROC(t.library.get(), WTHelperProvDataFromStateData);
    t.provSigner = Z_PROC(t.library.get(), WTHelperGetProvSignerFromChain);
    return t;
  }();
  return trust;
}

// WinVerifyTrust's answer for the last file read, for the trace.
LONG lastVerifyResult = 0;

}  // namespace

SignatureState ReadFileSignature(const std::string& file, std::string& identity) {
  identity.clear();
  const WinTrust& trust = WinTrustLibrary();
  // Without the library nothing can be verified: the file counts as unsigned, which a
  // signed agent refuses.
  if (!trust.verify || !trust.provData || !trust.provSigner) return SignatureState::None;
  // A plain buffer: std::wstring would bring a second string implementation into the stub.
  std::vector<wchar_t> path(file.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, path.data(), static_cast<int>(path.size()));
  if (n <= 0) return SignatureState::Broken;

  // Read through a handle: a held file (the own executable, a checked setup file) is
  // verified as held, not whatever lies at its name now.
  UniqueHandle handle = OpenForReading(file);
  if (!handle) return SignatureState::Broken;
  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof(fileInfo);
  fileInfo.pcwszFilePath = path.data();
  fileInfo.hFile = handle.get();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  // No WTD_LIFETIME_SIGNING_FLAG: a valid time stamp keeps an expired certificate good.
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = trust.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  lastVerifyResult = result;
  if (result == ERROR_SUCCESS) {
    CRYPT_PROVIDER_DATA* provider = trust.provData(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* sgnr = provider ? trust.provSigner(provider, 0, FALSE, 0) : nullptr;
    if (sgnr && sgnr->csCertChain > 0 && sgnr->pasCertChain && sgnr->pasCertChain[0].pCert &&
        sgnr->pasCertChain[0].pCert->pCertInfo) {
      const CERT_INFO& cert = *sgnr->pasCertChain[0].pCert->pCertInfo;
      identity =
          SignerIdentity(std::string(reinterpret_cast<const char*>(cert.Subject.pbData), cert.Subject.cbData),
                         std::string(reinterpret_cast<const char*>(cert.Issuer.pbData), cert.Issuer.cbData));
    }
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  trust.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  if (result == static_cast<LONG>(TRUST_E_NOSIGNATURE)) return SignatureState::None;
  return result == ERROR_SUCCESS && !identity.empty() ? SignatureState::Verified : SignatureState::Broken;
}

std::string VerifiedSignerRecord(const std::string& file) {
  std::string identity;
  const SignatureState state = ReadFileSignature(file, identity);
  if (state == SignatureState::Broken) {
    const std::string why = "the signature of " + file + " does not verify on this machine (" +
                            std::to_string(static_cast<unsigned long>(lastVerifyResult)) +
                            "): the agent written from it takes no update";
    Output() << TracePid() << " VerifiedSignerRecord() --- " << why << EndLine;
  }
  return AgentSignerRecord(state, identity);
}

ProgramSigner ReadProgramSigner(const std::string& programFile) {
  ProgramSigner signer;
  {
    PackFile program(programFile);
    if (!program) return signer;
    const std::int64_t size = FileSize(program.get());
    const std::int64_t end = PackEndOf(program.get());
    const std::int64_t tailSize = size - end;
    if (end > 0 && tailSize > 0 && tailSize <= static_cast<std::int64_t>(kSignerIdentityMax + 64)) {
      std::string tail(static_cast<std::size_t>(tailSize), '\0');
      if (ReadAt(program.get(), end, &tail[0], tail.size()) && ParseSignerRecord(tail, signer.identity)) {
        signer.signedBy = signer.fromRecord = true;
        return signer;
      }
    }
  }
  signer.signedBy = ReadFileSignature(programFile, signer.identity) != SignatureState::None;
  return signer;
}

bool UpdateSignatureOk(const std::string& setupFile, const std::string& programFile, std::string& reason) {
  const ProgramSigner own = ReadProgramSigner(programFile);
  std::string identity;
  const SignatureState state = ReadFileSignature(setupFile, identity);
  return UpdateSignatureAccepted(own.signedBy, own.identity, state, identity, reason);
}
