#pragma once
// Whether a downloaded setup file's Authenticode signature is acceptable, and the signer
// record an agent carries after its package, free of the OS.
#include <cstdint>
#include <string>

// What the system's verification says about a file.
enum class SignatureState {
  None,      // no signature at all
  Verified,  // signature intact and trusted (an expired certificate counts when a valid
             // time stamp shows it was signed while the certificate was in force)
  Broken     // signed, but altered, untrusted or unreadable
};

// The publisher of a signature: the leaf certificate's subject and issuer names (DER).
// A renewed certificate (new key, new serial number, new validity) keeps both, so it
// keeps the identity; another publisher, or the same name from another issuer, does not.
std::string SignerIdentity(const std::string& subject, const std::string& issuer);

// The agent copy's signer record: "ZSIGNER1", the identity's length (32-bit, little
// endian) and the identity. It follows the package (after PackEnd), where a signature
// block would lie, so the agent's own bytes name the publisher of the setup file that
// wrote it: only whoever can write the agent's program file can change it.
constexpr std::size_t kSignerIdentityMax = 16 * 1024;
std::string SignerRecord(const std::string& identity);
// The identity recorded for an agent written from a file whose signature does not verify
// (an expired certificate without a time stamp, a broken chain, altered bytes): no signer
// identity has this form (it would begin with a subject of 4 GB), so it matches no
// publisher, and the agent takes no update until a sound installation replaces it.
extern const char kUnverifiedSignerIdentity[];
// The signer record for an agent written from a file with this signature state: none for
// an unsigned file, the publisher's for a verified one, kUnverifiedSignerIdentity's for a
// signature that does not verify.
std::string AgentSignerRecord(SignatureState state, const std::string& identity);
// The identity of a record that fills tail (the bytes after PackEnd) exactly; false for
// anything else (a signature block, a damaged or oversized record).
bool ParseSignerRecord(const std::string& tail, std::string& identity);

// The rule: a file that carries a signature must verify; when the program that checks it
// is signed (ownSigned: it carries a signer record or a signature of its own), the file
// must verify and its signer identity must equal the program's, which must be known.
// Unsigned programs accept unsigned files (the token alone). reason receives why not.
bool UpdateSignatureAccepted(bool ownSigned, const std::string& ownIdentity, SignatureState file,
                             const std::string& fileIdentity, std::string& reason);
