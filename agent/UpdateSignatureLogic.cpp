#include "agent/UpdateSignatureLogic.h"

bool CarriesSignerBlock(std::int64_t fileSize, std::int64_t packEnd) {
  return packEnd >= 0 && fileSize >= packEnd && fileSize - packEnd >= kSignerBlockMin;
}

bool UpdateSignatureAccepted(bool agentSigned, const std::string& agentSigner, SignatureState update,
                             const std::string& updateSigner, std::string& reason) {
  reason.clear();
  if (update == SignatureState::Broken) {
    reason = "the update's signature does not verify";
    return false;
  }
  if (!agentSigned) return true;
  if (agentSigner.empty()) {
    reason = "the agent's own signer certificate cannot be read";
    return false;
  }
  if (update != SignatureState::Verified) {
    reason = "the update is not signed";
    return false;
  }
  if (updateSigner != agentSigner) {
    reason = "the update is signed with another certificate";
    return false;
  }
  return true;
}
