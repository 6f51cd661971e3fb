#include "internet/InetHTTP.h"

namespace {
// Single-threaded process: handlers that set it and loops that poll it run on one thread.
bool downloadAborted = false;
}  // namespace

void SetDownloadAborted(bool aborted) { downloadAborted = aborted; }
bool DownloadAborted() { return downloadAborted; }
