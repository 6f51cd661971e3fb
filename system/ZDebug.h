#pragma once
// The debug channel. Every unit writes its progress and caught errors as lines to
// Output(); the stream hands them on in pieces of at most 128 bytes (a line end or a
// full buffer ends a piece) to SendDebugText, which delivers each piece to a debug
// viewer window (class ".ZDebug.") and/or the trace file. Nothing in the program depends
// on a viewer being present.
//
// Portable: the stream and the line-end rules build everywhere; delivery is the
// platform's (ZDebugWin.cpp on Windows; natively pieces go only to a test sink).
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iosfwd>
#include <string>
#include <type_traits>

// 0: viewer window only; 1: trace file only; 2: both; anything else: nothing.
extern std::uint8_t DebugTarget;

constexpr std::size_t kDebugStreamBuffer = 128;
constexpr std::size_t kDebugCopyLimit = 10241;
constexpr const char* kDebugViewerClass = ".ZDebug.";
constexpr const char* kDebugViewerMessage = ".Z_DebugMsg.";
constexpr unsigned kDebugViewerWParam = 1;

// Ends a trace line: `Output() << "text" << EndLine;` writes a single line feed and hands
// the waiting text on. It takes the place of std::endl, which the stream refuses.
struct TraceLineEnd {};
constexpr TraceLineEnd EndLine{};

// The trace stream: a small stand-in for std::ostream (whose locale machinery would be
// most of the stub's size) with the insertions the trace needs. Strings and characters
// are written as they are, booleans as "TRUE" and "FALSE", every other integer type
// (also std::uint8_t) and enumerations in plain decimal. Pointers and handles are cast
// to std::uintptr_t first; floating-point values are not accepted. Routines that write
// trace lines for their caller take a TraceStream&.
class TraceStream {
 public:
  TraceStream& operator<<(const std::string& text) { return Write(text.data(), text.size()); }
  TraceStream& operator<<(const char* text);
  TraceStream& operator<<(char ch) { return Write(&ch, 1); }
  TraceStream& operator<<(bool value) { return *this << (value ? "TRUE" : "FALSE"); }
  template <class Integer, std::enable_if_t<std::is_integral_v<Integer>, int> = 0>
  TraceStream& operator<<(Integer value) {
    if constexpr (std::is_signed_v<Integer>)
      return WriteSigned(value);
    else
      return WriteUnsigned(value);
  }
  template <class Enum, std::enable_if_t<std::is_enum_v<Enum>, int> = 0>
  TraceStream& operator<<(Enum value) {
    return *this << static_cast<std::underlying_type_t<Enum>>(value);
  }
  TraceStream& operator<<(TraceLineEnd);
  TraceStream& operator<<(const void*) = delete;                          // cast to std::uintptr_t
  TraceStream& operator<<(std::ostream& (*)(std::ostream&)) = delete;  // std::endl: write EndLine

  TraceStream& Write(const char* data, std::size_t size);
  // Hands the waiting text on now (EndLine does this after its line feed).
  TraceStream& flush();

 private:
  TraceStream& WriteSigned(long long value);
  TraceStream& WriteUnsigned(unsigned long long value);
};

// The program-wide trace stream.
TraceStream& Output();

// Id of the current process, the prefix of the driver's, transfer's and agent's lines.
unsigned long TracePid();

// Delivers one piece according to DebugTarget (platform-specific).
void SendDebugText(const std::string& piece);

// The re-entrant lock around the delivery of a piece (platform-specific: a critical
// section on Windows, which keeps the stub free of std::recursive_mutex's error paths).
void LockDebugDelivery();
void UnlockDebugDelivery();

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
