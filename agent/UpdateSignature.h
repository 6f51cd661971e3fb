#pragma once
// Authenticode signatures of the agent and of a downloaded update, read through
// wintrust.dll (loaded at run time from the system folder).
#include <string>

#include "agent/UpdateSignatureLogic.h"

// The system's verdict on file; signer receives the signer certificate (DER) when it
// verified. Without wintrust.dll every file reads as unsigned.
SignatureState ReadFileSignature(const std::string& file, std::string& signer);

// UpdateSignatureAccepted for an update and the agent file it would replace the product
// of. The agent counts as signed when its package is followed by a signature block of
// kSignerBlockMin bytes or more.
bool UpdateSignatureOk(const std::string& updateFile, const std::string& agentFile, std::string& reason);
