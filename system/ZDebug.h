#pragma once
// The debug channel. Every unit writes its progress and caught errors as lines to
// Output(); the stream hands them on in pieces of at most 128 bytes (a line end or a
// full buffer ends a piece) to SendDebugText, which delivers each piece to a debug
// viewer window (class ".ZDebug.") and/or the trace file. Nothing in the program depends
// on a viewer being present.
//
// Portable: the stream and the line-end rules build everywhere; delivery is the
// platform's (ZDebugWin.cpp on Windows; natively pieces go only to a test sink).
#include <cstdint>
#include <exception>
#include <functional>
#include <ostream>
#include <string>

// 0: viewer window only; 1: trace file only; 2: both; anything else: nothing.
extern std::uint8_t DebugTarget;

constexpr std::size_t kDebugStreamBuffer = 128;
constexpr std::size_t kDebugCopyLimit = 10241;
constexpr const char* kDebugViewerClass = ".ZDebug.";
constexpr const char* kDebugViewerMessage = ".Z_DebugMsg.";
constexpr unsigned kDebugViewerWParam = 1;

// The program-wide trace stream. End lines with std::endl: a single line feed, then flush.
// Booleans are written "TRUE" and "FALSE", integers in plain decimal.
std::ostream& Output();

// Id of the current process, the prefix of the driver's, transfer's and agent's lines.
unsigned long TracePid();

// Delivers one piece according to DebugTarget (platform-specific).
void SendDebugText(const std::string& piece);

// "C:\ProgramData\_zdebug.txt".
std::string DebugFileName();

// Appends the bytes of text to the file (created when missing, shared for reading and
// writing). True when every byte was written.
bool AppendTextToFile(const std::string& fileName, const std::string& text);

// Every "\r\n", lone "\r" and lone "\n" of a piece becomes "\r\n" (trace-file form).
std::string NormalizeLineEnds(const std::string& piece);

// " --- <routine>()[ --- <detail>] --- <message>".
std::string ExceptionLine(const std::string& routine, const std::string& detail, const std::string& message);

// Writes ExceptionLine of the exception's message to Output() and ends the line.
void TraceException(const std::exception& error, const std::string& routine, const std::string& detail = "");

// Tests: receive every piece the stream flushes instead of SendDebugText. Empty restores.
void SetDebugPieceSink(std::function<void(const std::string&)> sink);
