#pragma once
// Helpers around a transfer: the progress text with its transfer rate (TBytesRate) and
// the detection of an HTML error page delivered instead of the expected file.
#include <cstdint>
#include <string>
#include <vector>

class TBytesRate {
public:
  TBytesRate(bool showKB, bool showMB);
  void Reset();
  // "total/size KB" (or MB, or "BytesArr") and, once five samples spanning some time
  // were seen, "   -   <rate> KB/Sec"; the rate is refreshed at most every 500 ms.
  // size is the file's size, total the bytes received so far, read the last chunk.
  std::string Text(std::int64_t size, std::int64_t total, std::uint32_t read);
  // The same at a given tick count (ms); Text uses the system's clock.
  std::string TextAt(std::int64_t size, std::int64_t total, std::uint32_t read, std::uint32_t nowMs);

  std::vector<std::uint32_t> Times;
  std::vector<std::uint32_t> Bytes;
  bool ShowKB;
  bool ShowMB;
  std::string RateText;
  std::uint32_t LastRateTick = 0;
};

// The sample window: pushes value into the array (oldest first, the oldest drops out);
// returns newest - oldest when isTime, else the sum of all but the oldest.
std::uint32_t PushSample(std::vector<std::uint32_t>& samples, std::uint32_t value, bool isTime);

// Whether the first 1,000 bytes of the file fileName (when given and present), else of
// content, look like an HTML page (a title holding "404", or the usual HTML head).
bool IsErrorPage(const std::string& fileName, const std::string& content);
// errorText = the "404 File Not Found" markup when IsErrorPage; else defaultError when
// that is not empty; else errorText stays as it was.
void CheckErrorPage(const std::string& fileName, const std::string& content, const std::string& url,
                    const std::string& defaultError, std::string& errorText);
// The text is CheckErrorPage's "404 File Not Found" markup.
bool IsErrorPageText(const std::string& text);
