#pragma once
// Whether a downloaded update's Authenticode signature is acceptable, free of the OS.
#include <cstdint>
#include <string>

// An agent file whose package is followed by at least this many bytes still carries its
// signature block (and with it the signer's certificate).
constexpr std::int64_t kSignerBlockMin = 10000;
bool CarriesSignerBlock(std::int64_t fileSize, std::int64_t packEnd);

// What the system's verification says about a file.
enum class SignatureState {
  None,      // no signature at all
  Verified,  // signature intact and trusted
  Broken     // signed, but altered, untrusted or unreadable
};

// The rule: an update that carries a signature must verify; when the agent is signed
// (agentSigned), the update must verify and its signer certificate (DER bytes) must equal
// the agent's, which must be known. Unsigned agents accept unsigned updates. reason
// receives why not.
bool UpdateSignatureAccepted(bool agentSigned, const std::string& agentSigner, SignatureState update,
                             const std::string& updateSigner, std::string& reason);
