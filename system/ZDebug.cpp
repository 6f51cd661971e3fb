#include "system/ZDebug.h"

#include <cstring>

#include "system/TestHooks.h"

std::uint8_t DebugTarget = 0;

namespace {

std::function<void(const std::string&)>& PieceSink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

class DeliveryGuard {
 public:
  DeliveryGuard() { LockDebugDelivery(); }
  ~DeliveryGuard() { UnlockDebugDelivery(); }
  DeliveryGuard(const DeliveryGuard&) = delete;
  DeliveryGuard& operator=(const DeliveryGuard&) = delete;
};

// The stream's device: a 128-byte buffer whose content is delivered as one piece when
// it is full, at every line end (flush) and when the program ends.
class DebugStreamBuf {
 public:
  ~DebugStreamBuf() { Deliver(); }

  void Put(const char* data, std::size_t size) {
    while (size > 0) {
      // A writer entered during delivery may have filled the buffer again.
      while (waiting_ == kDebugStreamBuffer) Deliver();
      std::size_t room = kDebugStreamBuffer - waiting_;
      std::size_t part = size < room ? size : room;
      std::memcpy(buffer_ + waiting_, data, part);
      waiting_ += part;
      data += part;
      size -= part;
    }
  }

  void Deliver() {
    // Re-entrant: delivery sends a message and the thread handles messages sent to it
    // while it waits; a handler that traces comes back here on the same thread.
    DeliveryGuard lock;
    std::size_t waiting = waiting_;
    if (waiting == 0) return;
    // Emptied before the copy, so that a failure while copying or delivering never
    // leaves the text to be sent twice; the bytes stay in buffer_ for the copy.
    waiting_ = 0;
    try {
      std::string piece(buffer_, waiting < kDebugCopyLimit ? waiting : kDebugCopyLimit);
      if (PieceSink())
        PieceSink()(piece);
      else
        SendDebugText(piece);
    } catch (...) {
    }
  }

 private:
  char buffer_[kDebugStreamBuffer];
  std::size_t waiting_ = 0;
};

DebugStreamBuf& Buffer() {
  // The sink is made first so that it outlives the buffer, whose destructor delivers
  // the text still waiting at program end.
  static const bool sinkReady = (PieceSink(), true);
  (void)sinkReady;
  static DebugStreamBuf buffer;
  return buffer;
}

}  // namespace

TraceStream& Output() {
  static TraceStream stream;
  return stream;
}

TraceStream& TraceStream::Write(const char* data, std::size_t size) {
  Buffer().Put(data, size);
  return *this;
}

TraceStream& TraceStream::operator<<(const char* text) {
  // A null text writes nothing; the line goes on.
  return text ? Write(text, std::strlen(text)) : *this;
}

TraceStream& TraceStream::operator<<(TraceLineEnd) {
  *this << '\n';
  return flush();
}

TraceStream& TraceStream::flush() {
  Buffer().Deliver();
  return *this;
}

TraceStream& TraceStream::WriteUnsigned(unsigned long long value) {
  char digits[20];
  char* first = digits + sizeof digits;
  do {
    *--first = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return Write(first, static_cast<std::size_t>(digits + sizeof digits - first));
}

TraceStream& TraceStream::WriteSigned(long long value) {
  if (value >= 0) return WriteUnsigned(static_cast<unsigned long long>(value));
  *this << '-';
  // Negated as unsigned, so that the smallest value needs no room above the largest.
  return WriteUnsigned(0ULL - static_cast<unsigned long long>(value));
}

void SetDebugPieceSink(std::function<void(const std::string&)> sink) {
  Output().flush();
  PieceSink() = std::move(sink);
}

std::string DebugFileName() { return "C:\\ProgramData\\_zdebug.txt"; }

std::string NormalizeLineEnds(const std::string& piece) {
  std::string result;
  result.reserve(piece.size() + 16);
  for (std::size_t i = 0; i < piece.size(); ++i) {
    char ch = piece[i];
    if (ch == '\r') {
      if (i + 1 < piece.size() && piece[i + 1] == '\n') ++i;
      result += "\r\n";
    } else if (ch == '\n') {
      result += "\r\n";
    } else {
      result += ch;
    }
  }
  return result;
}

std::string ExceptionLine(const std::string& routine, const std::string& detail, const std::string& message) {
  std::string prefixedDetail = detail.empty() ? std::string() : " --- " + detail;
  return " --- " + routine + "()" + prefixedDetail + " --- " + message;
}

void TraceException(const std::exception& error, const std::string& routine, const std::string& detail) {
  Output() << ExceptionLine(routine, detail, error.what()) << EndLine;
}
