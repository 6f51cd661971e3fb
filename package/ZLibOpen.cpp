#include "package/ZLibOpen.h"

#include <zlib.h>

#include <cstring>
#include <vector>

std::string ZLibErrorText(int code) {
  const char* text = zError(code);
  return text && *text ? text : "zlib error " + std::to_string(code);
}

struct TInflater::State {
  z_stream stream{};
  std::vector<unsigned char> out;
};

TInflater::TInflater() : state_(new State) {
  state_->out.resize(OutputChunk);
  const int result = inflateInit(&state_->stream);
  if (result != Z_OK) {
    delete state_;
    state_ = nullptr;
    throw EZLibError(result, ZLibErrorText(result));
  }
}

TInflater::~TInflater() {
  if (!state_) return;
  inflateEnd(&state_->stream);
  delete state_;
}

void TInflater::Reset() {
  const int result = inflateReset(&state_->stream);
  if (result != Z_OK) throw EZLibError(result, ZLibErrorText(result));
  finished_ = false;
  totalOut_ = 0;
}

bool TInflater::Feed(const void* data, std::size_t size, Sink sink, void* context) {
  z_stream& stream = state_->stream;
  const unsigned char* input = static_cast<const unsigned char*>(data);
  while (size > 0 && !finished_) {
    // zlib counts in uInt; feed very large inputs in parts.
    const uInt piece = static_cast<uInt>(size < 0x40000000u ? size : 0x40000000u);
    stream.next_in = const_cast<unsigned char*>(input);
    stream.avail_in = piece;
    do {
      stream.next_out = state_->out.data();
      stream.avail_out = static_cast<uInt>(state_->out.size());
      const int result = inflate(&stream, Z_NO_FLUSH);
      if (result == Z_NEED_DICT) throw EZLibError(Z_DATA_ERROR, ZLibErrorText(Z_DATA_ERROR));
      // Z_BUF_ERROR here only means no progress was possible with this input.
      if (result < 0 && result != Z_BUF_ERROR) throw EZLibError(result, ZLibErrorText(result));
      const std::size_t produced = state_->out.size() - stream.avail_out;
      totalOut_ += produced;
      if (result == Z_STREAM_END) finished_ = true;
      if (produced && !sink(context, reinterpret_cast<const char*>(state_->out.data()), produced)) return false;
      if (result == Z_BUF_ERROR) break;
    } while (!finished_ && (stream.avail_in > 0 || stream.avail_out == 0));
    const std::size_t used = piece - stream.avail_in;
    input += used;
    size -= used;
    if (used < piece) break;  // stream ended (the rest is ignored) or no progress
  }
  return true;
}

void TInflater::RequireFinished() const {
  if (!finished_) throw EZLibError(Z_BUF_ERROR, ZLibErrorText(Z_BUF_ERROR));
}

namespace {

struct StringSink {
  std::string* out;
  std::size_t max;
};

bool AppendToString(void* context, const char* data, std::size_t size) {
  StringSink& sink = *static_cast<StringSink*>(context);
  if (sink.max && sink.out->size() + size > sink.max) throw EZLibError(Z_MEM_ERROR, ZLibErrorText(Z_MEM_ERROR));
  sink.out->append(data, size);
  return true;
}

}  // namespace

std::string InflateString(const std::string& compressed, std::size_t maxOutput) {
  std::string out;
  // The usual ratio of the packages' blocks; grows from there.
  out.reserve(compressed.size() < 64 ? 256 : compressed.size() * 2);
  StringSink sink{&out, maxOutput};
  TInflater inflater;
  inflater.Feed(compressed.data(), compressed.size(), AppendToString, &sink);
  inflater.RequireFinished();
  return out;
}
