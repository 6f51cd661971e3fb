#pragma once
// Whether a downloaded update or inform text belongs to this agent's product.
#include <cstdint>
#include <string>

// An inform text is a short news text; a larger download is not read whole.
constexpr std::int64_t kInformTextMax = 1 << 20;

// Kinds of the agent's downloads.
enum class DownloadKind { Info = 1, Update = 2, Inform = 3 };

// Update: the downloaded setup file's package token equals ownToken, and its signature
// passes UpdateSignatureOk against agentFile. Inform: InformTextCarriesToken (package/PackX.h) of the file's
// first kInformTextMax bytes. Exact comparison of unscrambled tokens; an
// empty own token matches nothing. The tokens are never written anywhere.
bool CheckDownloadTokenOf(const std::string& fileName, DownloadKind kind, const std::string& ownToken,
                          const std::string& agentFile);
// The same for the running agent (OwnFileInfo and its own file).
bool CheckDownloadToken(const std::string& fileName, DownloadKind kind);
