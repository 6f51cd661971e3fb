#pragma once
// The HTTP client's process-wide state. The download-abort flag: set when the user closes
// the main window or the process winds down; every transfer loop polls it and stops.

// Sets (or clears) the abort request.
void SetDownloadAborted(bool aborted);
// Whether an abort was requested.
bool DownloadAborted();
