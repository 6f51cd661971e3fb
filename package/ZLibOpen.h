#pragma once
// zlib inflate for the package's compressed blocks: whole-buffer (InflateString) and
// streaming (TInflater, which hands the output on in bounded pieces, so a block that
// inflates to far more than it holds never has to fit in memory).
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

// A zlib error; what() is zlib's text for the code ("data error", "buffer error" ...).
// Derived from std::exception itself: the standard error classes would bring the
// library's second string implementation into the stub.
class EZLibError : public std::exception {
public:
  EZLibError(int code, const std::string& message) : Code(code), message_(message) {}
  const char* what() const noexcept override { return message_.c_str(); }
  int Code;

private:
  std::string message_;
};

// zlib's text for a (negative) result code.
std::string ZLibErrorText(int code);

// Inflates one complete zlib stream. Throws EZLibError on a zlib error, including a
// stream that ends before its end marker. maxOutput (0 = no limit) bounds the result:
// a stream that inflates to more raises EZLibError as well.
std::string InflateString(const std::string& compressed, std::size_t maxOutput = 0);

// Streaming inflate of one zlib stream. Feed compressed pieces in order; each call hands
// the output produced to sink in pieces of at most OutputChunk bytes. Throws EZLibError
// on a zlib error. Data after the stream's end marker is ignored.
class TInflater {
public:
  // Receives output; return false to stop (Feed then returns false too).
  using Sink = bool (*)(void* context, const char* data, std::size_t size);
  static constexpr std::size_t OutputChunk = 256 * 1024;

  TInflater();
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Ready for the next stream (keeps the buffers).
  void Reset();
  // False when the sink asked to stop. After the end marker further input is ignored.
  bool Feed(const void* data, std::size_t size, Sink sink, void* context);
  // Whether the end marker was reached.
  bool Finished() const { return finished_; }
  // Throws EZLibError ("buffer error") when the stream has not reached its end marker.
  void RequireFinished() const;
  std::uint64_t TotalOut() const { return totalOut_; }

private:
  struct State;
  State* state_;
  bool finished_ = false;
  std::uint64_t totalOut_ = 0;
};
