#include "package/SignerRuleLogic.h"

namespace {

constexpr char kRecordMagic[] = "ZSIGNER1";
constexpr std::size_t kMagicSize = sizeof kRecordMagic - 1;

void AppendU32(std::string& out, std::size_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

std::size_t LoadU32(const std::string& text, std::size_t at) {
  std::size_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(text[at + i]);
  return value;
}

}  // namespace

std::string SignerIdentity(const std::string& subject, const std::string& issuer) {
  // Length-prefixed, so that no subject/issuer pair reads as another.
  std::string identity;
  AppendU32(identity, subject.size());
  identity += subject;
  AppendU32(identity, issuer.size());
  identity += issuer;
  return identity;
}

std::string SignerRecord(const std::string& identity) {
  if (identity.empty() || identity.size() > kSignerIdentityMax) return std::string();
  std::string record(kRecordMagic, kMagicSize);
  AppendU32(record, identity.size());
  return record + identity;
}

const char kUnverifiedSignerIdentity[] =
    "\xff\xff\xff\xff"
    "unverified";

std::string AgentSignerRecord(SignatureState state, const std::string& identity) {
  if (state == SignatureState::None) return std::string();
  return SignerRecord(state == SignatureState::Verified ? identity : std::string(kUnverifiedSignerIdentity));
}

bool ParseSignerRecord(const std::string& tail, std::string& identity) {
  identity.clear();
  if (tail.size() < kMagicSize + 4 || tail.compare(0, kMagicSize, kRecordMagic) != 0) return false;
  const std::size_t length = LoadU32(tail, kMagicSize);
  if (length == 0 || length > kSignerIdentityMax || tail.size() - kMagicSize - 4 != length) return false;
  identity = tail.substr(kMagicSize + 4);
  return true;
}

bool UpdateSignatureAccepted(bool ownSigned, const std::string& ownIdentity, SignatureState file,
                             const std::string& fileIdentity, std::string& reason) {
  reason.clear();
  if (ownSigned && ownIdentity == kUnverifiedSignerIdentity) {
    reason = "this agent was written from a setup file whose signature did not verify: it takes no update";
    return false;
  }
  if (file == SignatureState::Broken) {
    reason = "the setup file's signature does not verify";
    return false;
  }
  if (!ownSigned) return true;
  if (ownIdentity.empty()) {
    reason = "the publisher of this program cannot be read";
    return false;
  }
  if (file != SignatureState::Verified) {
    reason = "the setup file is not signed";
    return false;
  }
  if (fileIdentity != ownIdentity) {
    reason = "the setup file is signed by another publisher";
    return false;
  }
  return true;
}
