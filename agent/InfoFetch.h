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
// UPDATE and INFORM: into LocalDownloadPath(fileName) beside the agent; true when the file
// arrived whole and CheckDownloadToken accepts it. A refused file is deleted and shown
// ("Bad Secret Token!" or the 404 text); a failed fetch is shown ("s3", "s4", "s5") when
// RequestConfirmationBeforeDownload holds, and error says why.
bool DownloadFileAU(const std::string& base, const std::string& fileName, DownloadKind kind, std::string& error);

// ExeFolder + "\" + the local name of a published file (LocalCopyName, with the agent's
// own files reserved); empty when the name is refused (reason says why).
std::string LocalDownloadPath(const std::string& publishedName, std::string* reason = nullptr);
