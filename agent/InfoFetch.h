#pragma once
// The agent's three downloads: the ".info" record (INFO), the new setup file (UPDATE) and
// the inform text (INFORM), each taken from a folder base or fetched over HTTP.
#include <string>

#include "agent/DownloadToken.h"

// Fetches fileName (its file-name part) from base: base + "\" + name when that file
// exists, else base + "/" + name over HTTP when connected (never in test mode, where
// TestModeURL replaces base).
// INFO: into memory, never more than kMemoryDownloadCap bytes; true when some content
// arrived that is no HTML error page; the ".info" copy is rewritten with the content
// either way; error holds why not (an error beginning with "3" is dropped).
// UPDATE and INFORM: into DownloadPath(fileName), set in localFile; true when the file
// arrived whole and CheckDownloadToken accepts it. A refused file is deleted and shown
// ("Bad Secret Token!" or the 404 text); a failed fetch is shown ("s3", "s4", "s5") when
// RequestConfirmationBeforeDownload holds, and error says why.
bool DownloadFileAU(const std::string& base, const std::string& fileName, DownloadKind kind,
                    std::string& error, std::string* localFile = nullptr);

// Where UPDATE and INFORM downloads are kept under their local name (LocalDownloadPath):
// beside the agent, unless the agent runs elevated. Then a new folder of the agent's own
// (MakeProtectedSetupFolder in the system's Temp: unpredictable name, held, only
// administrators may write) takes them, so nothing another user planted or links at the
// name beside the agent is opened, followed or replaced, and nobody can change the file
// between its check and its use. Empty (reason says why) when the name is refused or no
// such folder could be made.
std::string DownloadPath(const std::string& publishedName, DownloadKind kind, std::string* reason = nullptr);
// Keeps text as the file beside the agent at besidePath (the inform text stays there):
// written under a new name of its own and renamed over besidePath, which replaces a link
// there as a link and never writes through it; a read-only file or a folder at the name is
// left alone. True when kept.
bool KeepBesideAgent(const std::string& besidePath, const std::string& text);
// Deletes a download and, when it lay in a folder of its own, that folder.
void DropDownload(const std::string& localFile);
// Whether a download lies beside the agent (and is kept there).
bool IsBesideAgent(const std::string& localFile);

// ExeFolder + "\" + the local name of a published file (LocalCopyName, for the news text
// LocalInformName, with the agent's own files reserved); empty when the name is refused
// (reason says why). The news text is fetched only when the name beside the agent holds
// nothing or an earlier news text of the product.
std::string LocalDownloadPath(const std::string& publishedName, DownloadKind kind,
                              std::string* reason = nullptr);
