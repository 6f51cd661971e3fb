#include "system/ZDebug.h"

#include <locale>
#include <mutex>
#include <streambuf>

std::uint8_t DebugTarget = 0;

namespace {

std::function<void(const std::string&)>& PieceSink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

// The stream's device: a 128-byte buffer whose content is delivered as one piece when
// it is full, at every line end (flush) and when the program ends.
class DebugStreamBuf : public std::streambuf {
 public:
  DebugStreamBuf() { setp(buffer_, buffer_ + kDebugStreamBuffer); }
  ~DebugStreamBuf() override { Deliver(); }

 protected:
  int_type overflow(int_type ch) override {
    // A writer entered during delivery may have filled the buffer again.
    while (pptr() == epptr()) Deliver();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ch);
      pbump(1);
    }
    return traits_type::not_eof(ch);
  }
  int sync() override {
    Deliver();
    return 0;  // a failed delivery never fails the writer
  }

 private:
  void Deliver() {
    // Re-entrant: delivery sends a message and the thread handles messages sent to it
    // while it waits; a handler that traces comes back here on the same thread.
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::size_t waiting = static_cast<std::size_t>(pptr() - pbase());
    if (waiting == 0) return;
    // Emptied before the copy, so that a failure while copying or delivering never
    // leaves the text to be sent twice; the bytes stay in buffer_ for the copy.
    setp(buffer_, buffer_ + kDebugStreamBuffer);
    try {
      std::string piece(buffer_, waiting < kDebugCopyLimit ? waiting : kDebugCopyLimit);
      if (PieceSink())
        PieceSink()(piece);
      else
        SendDebugText(piece);
    } catch (...) {
    }
  }

  char buffer_[kDebugStreamBuffer];
  std::recursive_mutex mutex_;
};

class TraceBoolNames : public std::numpunct<char> {
 protected:
  std::string do_truename() const override { return "TRUE"; }
  std::string do_falsename() const override { return "FALSE"; }
};

}  // namespace

std::ostream& Output() {
  // The sink is made first so that it outlives the buffer, whose destructor delivers
  // the text still waiting at program end.
  static const bool sinkReady = (PieceSink(), true);
  (void)sinkReady;
  static DebugStreamBuf buffer;
  static std::ostream stream(&buffer);
  static const bool formatted = [] {
    // Booleans are traced as "TRUE" and "FALSE".
    stream.imbue(std::locale(stream.getloc(), new TraceBoolNames));
    stream.setf(std::ios_base::boolalpha);
    return true;
  }();
  (void)formatted;
  return stream;
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
  Output() << ExceptionLine(routine, detail, error.what()) << std::endl;
}
