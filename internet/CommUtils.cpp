#include "internet/CommUtils.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "system/Utils.h"

namespace {
constexpr std::size_t kSamples = 5;
constexpr std::uint32_t kRateRefreshMs = 500;
constexpr std::size_t kPageHead = 1000;
}  // namespace

TBytesRate::TBytesRate(bool showKB, bool showMB) : ShowKB(showKB), ShowMB(showMB) {
  Times.resize(kSamples);
  Bytes.resize(kSamples);
  Reset();
}

void TBytesRate::Reset() {
  std::fill(Times.begin(), Times.end(), 0u);
  std::fill(Bytes.begin(), Bytes.end(), 0u);
  RateText.clear();
  LastRateTick = 0;
}

std::uint32_t PushSample(std::vector<std::uint32_t>& samples, std::uint32_t value, bool isTime) {
  if (samples.empty()) return 0;
  for (std::size_t i = 1; i < samples.size(); ++i) samples[i - 1] = samples[i];
  samples.back() = value;
  if (isTime) return samples.back() - samples.front();
  std::uint32_t sum = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) sum += samples[i];
  return sum;
}

std::string TBytesRate::Text(std::int64_t size, std::int64_t total, std::uint32_t read) {
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return TextAt(size, total, read, static_cast<std::uint32_t>(now.count()));
}

std::string TBytesRate::TextAt(std::int64_t size, std::int64_t total, std::uint32_t read, std::uint32_t nowMs) {
  std::string text;
  if (ShowMB)
    text = FormatSize(1, true, total, 1048576) + "/" + FormatSize(1, true, size, 1048576) + " MB";
  else if (ShowKB)
    text = FormatSize(1, true, total, 1024) + "/" + FormatSize(1, true, size, 1024) + " KB";
  else
    text = std::to_string(total) + "/" + std::to_string(size) + " BytesArr";

  const std::uint32_t span = PushSample(Times, nowMs, true);
  const std::uint32_t sum = PushSample(Bytes, read, false);
  if (Times.front() != 0 && span != 0 && nowMs - LastRateTick > kRateRefreshMs) {
    LastRateTick = nowMs;
    RateText = FloatToFixed(static_cast<double>(sum) / (span / 1000.0) / 1024.0, 2);
  }
  if (!RateText.empty()) text += "   -   " + RateText + " KB/Sec";
  return text;
}

namespace {

std::string PageHead(const std::string& fileName, const std::string& content) {
  if (!fileName.empty()) {
    if (std::FILE* file = std::fopen(fileName.c_str(), "rb")) {
      std::string head(kPageHead, '\0');
      head.resize(std::fread(&head[0], 1, head.size(), file));
      std::fclose(file);
      return head;
    }
  }
  return content.substr(0, kPageHead);
}

}  // namespace

bool IsErrorPage(const std::string& fileName, const std::string& content) {
  const std::string page = PageHead(fileName, content);
  const int title = PosNoCase("<TITLE", page);
  const int code = PosNoCase("404", page);
  const int titleEnd = PosNoCase("</TITLE>", page);
  const bool ruleA = title > 0 && title < code && code < titleEnd;
  const int html = PosNoCase("<HTML>", page);
  const int head = PosNoCase("<HEAD>", page);
  const int titleTag = PosNoCase("<TITLE>", page);
  const bool ruleB = html > 0 && html < head && head < titleTag && titleTag < titleEnd;
  return ruleA || ruleB;
}

namespace {
const char kErrorPageHead[] = "<B>404 File Not Found...</B><P><P>URL:  ";
}

bool IsErrorPageText(const std::string& text) {
  return text.compare(0, sizeof kErrorPageHead - 1, kErrorPageHead) == 0;
}

void CheckErrorPage(const std::string& fileName, const std::string& content, const std::string& url,
                    const std::string& defaultError, std::string& errorText) {
  if (IsErrorPage(fileName, content))
    errorText = kErrorPageHead + url + "." +
                "<P><P>Please make sure the file is available and access is allowed to this file.";
  else if (!defaultError.empty())
    errorText = defaultError;
}
