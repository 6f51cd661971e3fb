#pragma once
// The stub's HTTP client over WinINet, which is loaded at run time from the system folder
// on first need (one module handle; every entry point looked up with Z_PROC when it loads).
// It fetches one resource into a file or into memory with progress, answers whether the
// machine is connected and how large or how old a remote file is. Errors are texts in an
// out-parameter (empty = success); nothing here throws.
#include <windows.h>

#include <cstdint>
#include <string>

class TProgBar;

// The download-abort flag: set when the user closes the main window or the process winds
// down; every transfer loop polls it once per chunk and stops.
void SetDownloadAborted(bool aborted);
bool DownloadAborted();

// InternetGetConnectedState; errorText receives the system's text when it is false.
bool HTTP_CheckConnection(std::string& errorText);
bool HTTP_CheckConnection();

// Opens the URL once ("HTTP_Connect_2") and closes it again, ignoring every result.
void HTTP_Touch(const std::string& url);

// The content length the server reports for the URL (used unchanged), in 64 bits (a file
// may be larger than 2 GiB); -1 when the URL cannot be opened, the answer is not a
// success (a 404 page's length is not the file's) or no valid length was sent. Traces
// "HTTP_GetFileSize=<n>  <URL>".
std::int64_t HTTP_GetFileSize(const std::string& url);
// The request's Content-Length in 64 bits (read as text); -1 when absent or no length.
std::int64_t HTTP_GetContentLength(void* request);
// The request's Last-Modified as a DOS date-time; 0 when absent or not a valid date.
std::uint32_t HTTP_GetLastModified(void* request);
// Every connect, send and receive time-out of the handle.
void HTTP_SetTimeouts(void* internet, std::uint32_t milliseconds);
// GET with a forced reload; a URL without a scheme gets "http://" in front. Null on failure.
void* HTTP_OpenURL(void* internet, const std::string& url);
// The server's text of the last request (e.g. a refused login); empty when none.
void HTTP_GetLastResponseInfo(std::string& text);

// Downloads url into destFile (empty: into content, at most kMemoryDownloadCap bytes).
// The data go to destFile + "." + (size + date) first, chunk by chunk; older partial files
// of destFile are deleted before and destFile is replaced only by a complete transfer.
// window (> 10) is shown when the transfer starts; progBar may be null. Returns true only
// when the whole resource arrived: errorText empty and, for a file, destFile written by
// this call. A server that sent no length leaves no destFile and no error (the data of an
// in-memory download are kept).
// Bounds: maxBytes is the most the caller takes (kAnySize: no expectation); a larger
// announced length, one a file's drive cannot hold or an error status is refused before
// anything is written (an HTML error page gives CheckErrorPage's 404 text); the whole
// transfer ends after TransferTimeLimitMs of what it may bring. A transfer stopped by a
// bound leaves no partial file.
bool HTTP_DownloadFile_Incremental(HWND window, const std::string& url, const std::string& destFile,
                                   std::uint64_t maxBytes, std::string& content, TProgBar* progBar,
                                   std::string& errorText);

// Frees WinINet (end of the main window's loop); the next call loads it again. Kept while
// an aborted download's handles are left open (they end with the process).
void HTTP_UnloadWinINet();
