// Transfer progress texts (TBytesRate) and the detection of HTML error pages.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "internet/CommUtils.h"

namespace {

TEST(BytesRate, BaseTextInBytesKBAndMB) {
  TBytesRate bytes(false, false), kb(true, false), mb(true, true);
  EXPECT_EQ(bytes.TextAt(102400, 8192, 8192, 1000), "8192/102400 BytesArr");
  EXPECT_EQ(kb.TextAt(1234567, 1234567, 0, 1000), "1,205.6/1,205.6 KB");
  EXPECT_EQ(kb.TextAt(102401, 0, 0, 1000), "0.0/100.0 KB");
  EXPECT_EQ(mb.TextAt(10485761, 5242880, 0, 1000), "5.0/10.0 MB");
  EXPECT_EQ(mb.TextAt(int64_t(3) << 30, int64_t(1536) << 20, 0, 1000), "1,536.0/3,072.0 MB");
}

TEST(BytesRate, RateAppearsAfterFiveSamplesAndRefreshesAtMostEvery500ms) {
  TBytesRate rate(false, false);
  // Chunks of 10,240 bytes every 250 ms: four chunks over one second = 40 KB/s.
  std::uint32_t now = 10000;
  for (int i = 0; i < 4; ++i, now += 250)
    EXPECT_EQ(rate.TextAt(1000000, 10240 * (i + 1), 10240, now).find("KB/Sec"), std::string::npos) << i;
  EXPECT_EQ(rate.TextAt(1000000, 51200, 10240, now), "51200/1000000 BytesArr   -   40.00 KB/Sec");
  // 250 ms later, faster chunks: the old rate is kept ...
  now += 250;
  EXPECT_EQ(rate.TextAt(1000000, 51200 + 40960, 40960, now), "92160/1000000 BytesArr   -   40.00 KB/Sec");
  // ... until more than 500 ms have passed since the last refresh: 100 KB over 1,001 ms.
  now += 251;
  const std::string text = rate.TextAt(1000000, 92160 + 40960, 40960, now);
  EXPECT_EQ(text.substr(text.find("   -   ")), "   -   99.90 KB/Sec");

  rate.Reset();
  EXPECT_TRUE(rate.RateText.empty());
  EXPECT_EQ(rate.TextAt(10, 5, 5, now + 1000), "5/10 BytesArr");
}

TEST(BytesRate, NoRateWhenTheWindowSpansNoTime) {
  TBytesRate rate(true, false);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(rate.TextAt(2048, 1024, 100, 5000), "1.0/2.0 KB");
}

TEST(BytesRate, SampleWindow) {
  std::vector<std::uint32_t> s(5, 0);
  EXPECT_EQ(PushSample(s, 7, false), 7u);
  EXPECT_EQ(PushSample(s, 1, false), 8u);
  for (std::uint32_t v : {2u, 3u, 4u}) PushSample(s, v, false);
  EXPECT_EQ(s, (std::vector<std::uint32_t>{7, 1, 2, 3, 4}));
  EXPECT_EQ(PushSample(s, 5, false), 14u);  // the oldest (1) is not counted
  std::vector<std::uint32_t> t(5, 0);
  for (std::uint32_t v : {100u, 200u, 300u, 400u}) PushSample(t, v, true);
  EXPECT_EQ(PushSample(t, 500, true), 400u);
}

TEST(ErrorPage, Rules) {
  struct Case {
    const char* page;
    bool error;
  };
  const Case cases[] = {
      {"<html><head><title>404 Not Found</title></head>", true},
      {"<TITLE>Error 404</TITLE>", true},                            // rule A without <HTML>
      {"<html><head><title>Welcome</title></head><body>", true},     // rule B: any HTML head
      {"plain text that mentions 404 twice: 404", false},
      {"<title>Fine</title> 404", false},
      {"<html><body><title>x</title>", false},                       // no <HEAD>
      {"MZ\x90\x00binary", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsErrorPage("", c.page), c.error) << c.page;
  // Only the first 1,000 characters count.
  EXPECT_FALSE(IsErrorPage("", std::string(1000, ' ') + "<title>404</title>"));
  EXPECT_TRUE(IsErrorPage("", std::string(980, ' ') + "<title>404</title>"));
}

TEST(ErrorPage, FileWinsOverContentWhenPresent) {
  const auto path = std::filesystem::temp_directory_path() / "progress_test_page.htm";
  std::ofstream(path) << "<HTML><HEAD><TITLE>Not here</TITLE></HEAD>";
  EXPECT_TRUE(IsErrorPage(path.string(), "plain"));
  std::filesystem::remove(path);
  EXPECT_FALSE(IsErrorPage(path.string(), "plain"));  // missing file: the content counts
}

TEST(ErrorPage, CheckErrorPageTexts) {
  std::string text = "unchanged";
  CheckErrorPage("", "plain", "http://x/a.exe", "", text);
  EXPECT_EQ(text, "unchanged");
  CheckErrorPage("", "plain", "http://x/a.exe", "Bad Secret Token!", text);
  EXPECT_EQ(text, "Bad Secret Token!");
  CheckErrorPage("", "<title>404</title>", "http://x/a.exe", "Bad Secret Token!", text);
  EXPECT_EQ(text,
            "<B>404 File Not Found...</B><P><P>URL:  http://x/a.exe.<P><P>Please make sure the file is available "
            "and access is allowed to this file.");
}

}  // namespace
