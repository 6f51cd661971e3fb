#pragma once
// The agent's downloads. Built so far: the ".info" record (kind INFO), taken from a folder
// base or fetched over HTTP into memory, never more than kMemoryDownloadCap bytes, and
// saved as the ".info" copy beside the agent after every fetch.
#include <string>

enum class DownloadKind { Info = 1, Update = 2, Inform = 3 };

// Fetches fileName (its file-name part) from base: base + "\" + name when that file
// exists, else base + "/" + name over HTTP when connected (never in test mode, where
// TestModeURL replaces base). For INFO: true when some content arrived that is no HTML
// error page; the ".info" copy is rewritten with the content either way; error holds why
// not (an error beginning with "3" is dropped). UPDATE and INFORM are not built yet:
// they trace so and return false.
bool DownloadFileAU(const std::string& base, const std::string& fileName, DownloadKind kind, std::string& error);
