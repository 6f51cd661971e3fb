#pragma once
// Authenticode signatures of setup files, the agent and the web stub, read through
// wintrust.dll (loaded at run time from the system folder).
#include <string>

#include "package/SignerRuleLogic.h"

// The system's verdict on file (time stamps honoured, no revocation look-up); identity
// receives the signer's SignerIdentity when it verified. Without wintrust.dll every file
// reads as unsigned.
SignatureState ReadFileSignature(const std::string& file, std::string& identity);

// The signer record to write after an agent copied out of file (AgentSignerRecord of its
// signature): a signature that does not verify gives a record that matches no publisher
// (traced with the reason; the agent logs why at each update it refuses), never no record,
// which would let the agent take unsigned updates.
std::string VerifiedSignerRecord(const std::string& file);

// The publisher a program file stands for: the signer record after its package, else its
// own signature (a signature that does not verify leaves signed true and identity empty).
struct ProgramSigner {
  bool signedBy = false;
  bool fromRecord = false;
  std::string identity;
};
ProgramSigner ReadProgramSigner(const std::string& programFile);

// UpdateSignatureAccepted for a setup file and the program (the agent, or the web stub)
// whose publisher it must share.
bool UpdateSignatureOk(const std::string& setupFile, const std::string& programFile, std::string& reason);
