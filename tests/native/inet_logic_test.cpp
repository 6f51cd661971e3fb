#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "internet/InetHTTPLogic.h"
#include "package/PackFormat.h"
#include "package/PackX.h"
#include "package/SetupLogic.h"
#include "package/SignerRuleLogic.h"

TEST(InetLogic, UrlsWithAnySchemeAreUsedAsTheyAre) {
  struct Case {
    const char* url;
    const char* opened;
  } cases[] = {
      {"example.com/setup.exe", "http://example.com/setup.exe"},
      {"http://example.com/a", "http://example.com/a"},
      {"HTTP://example.com/a", "HTTP://example.com/a"},
      {"https://example.com/a", "https://example.com/a"},  // no second scheme in front
      {"ftp://example.com/a", "ftp://example.com/a"},
      {"example.com/r?to=http://x", "http://example.com/r?to=http://x"},  // "http://" later is no scheme
      {"127.0.0.1:8080/a", "http://127.0.0.1:8080/a"},
      {"", "http://"},
  };
  for (const Case& c : cases) EXPECT_EQ(UrlWithScheme(c.url), c.opened) << c.url;
  EXPECT_EQ(UrlFileName("http://host/dir/Setup.exe"), "Setup.exe");
  EXPECT_EQ(UrlFileName("C:\\web\\Setup.exe"), "Setup.exe");
}

TEST(InetLogic, RedirectsLeadWhereTheirLocationSays) {
  struct Case {
    const char* url;
    const char* location;
    const char* target;
  } cases[] = {
      {"http://a:81/d/f.exe", "http://b:82/x", "http://b:82/x"},
      {"http://a:81/d/f.exe", "//b/x", "http://b/x"},
      {"https://a/d/f.exe?q=1", "/x/y", "https://a/x/y"},
      {"http://a/d/f.exe?q=/z", "g.exe", "http://a/d/g.exe"},  // beside the path, not the query
      {"http://a", "g.exe", "http://a/g.exe"},
      {"http://a?q", "/g", "http://a/g"},
      {"http://a/d/", "", ""},  // no Location: not followed
      {"a/d/f.exe", "/x", ""},  // a URL without a scheme has no server to stay on
      // Resolved as a browser resolves them.
      {"http://a/d/f.exe?q=1", "?q=2", "http://a/d/f.exe?q=2"},
      {"http://a/d/e/f.exe", "../g.exe", "http://a/d/g.exe"},
      {"http://a/d/f.exe", "../../../g.exe", "http://a/g.exe"},
      {"http://a/d/f.exe", "./x/./y/../g.exe?z=../1", "http://a/d/x/g.exe?z=../1"},
      {"http://a/d/f.exe", "/x/../g.exe", "http://a/g.exe"},
      {"http://a/d/f.exe?q=1#top", "#frag", "http://a/d/f.exe?q=1"},
      {"http://a/d/f.exe", "g.exe#frag", "http://a/d/g.exe"},
      // Only http and https, never down from https to http.
      {"http://a/f.exe", "HTTPS://b/f.exe", "HTTPS://b/f.exe"},
      {"https://a/f.exe", "https://b/f.exe", "https://b/f.exe"},
      {"https://a/f.exe", "http://b/f.exe", ""},
      {"HTTPS://a/f.exe", "//b/f.exe", "HTTPS://b/f.exe"},
      {"http://a/f.exe", "ftp://b/f.exe", ""},
      {"http://a/f.exe", "file:///C:/Windows/f.exe", ""},
      {"http://a/f.exe", "file://C:/Windows/f.exe", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(RedirectTarget(c.url, c.location), c.target) << c.url << " " << c.location;
  EXPECT_TRUE(IsRedirectStatus(302) && IsRedirectStatus(308) && !IsRedirectStatus(304) && !IsRedirectStatus(200));
  EXPECT_TRUE(!IsSuccessStatus(0) && IsSuccessStatus(204) && !IsSuccessStatus(302) && !IsSuccessStatus(404));
  EXPECT_EQ(StatusDetail(500, "Internal Server Error"), "HTTP 500 Internal Server Error");
  EXPECT_EQ(StatusDetail(0, ""), "the transfer did not complete");
}

TEST(InetLogic, WebUrlsSplitIntoServerPortAndObject) {
  struct Case {
    const char* url;
    bool ok;
    bool secure;
    const char* host;
    int port;
    const char* object;
  } cases[] = {
      {"http://a.example/d/f.exe?q=1#x", true, false, "a.example", 80, "/d/f.exe?q=1"},
      {"HTTPS://a:8443", true, true, "a", 8443, "/"},
      {"https://a?q", true, true, "a", 443, "/?q"},
      {"http://user:pw@a:81/f", true, false, "a", 81, "/f"},
      {"http://[::1]:8080/f", true, false, "[::1]", 8080, "/f"},
      {"http://a:/f", true, false, "a", 80, "/f"},
      {"http://a:0/f", false, false, "", 0, ""},
      {"http://a:65536/f", false, false, "", 0, ""},
      {"http://a:8x/f", false, false, "", 0, ""},
      {"http:///f", false, false, "", 0, ""},
      {"ftp://a/f", false, false, "", 0, ""},
      {"a/f", false, false, "", 0, ""},
  };
  for (const Case& c : cases) {
    UrlParts parts;
    ASSERT_EQ(SplitWebUrl(c.url, parts), c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(parts.secure, c.secure) << c.url;
    EXPECT_EQ(parts.host, c.host) << c.url;
    EXPECT_EQ(parts.port, c.port) << c.url;
    EXPECT_EQ(parts.object, c.object) << c.url;
  }
}

TEST(InetLogic, ChunksAreATenthOfTheFileWithinOneTo8192Bytes) {
  EXPECT_EQ(DownloadChunkSize(1), 1u);
  EXPECT_EQ(DownloadChunkSize(25), 2u);
  EXPECT_EQ(DownloadChunkSize(81920), 8192u);
  EXPECT_EQ(DownloadChunkSize(1000000), 8192u);
  EXPECT_EQ(DownloadChunkSize(kNoContentLength), 8192u);
  // Reads stop at a known length, however long the body is; without a length they go on.
  EXPECT_EQ(NextReadSize(8192, 10000, 8192), 1808u);
  EXPECT_EQ(NextReadSize(8192, 10000, 10000), 0u);
  EXPECT_EQ(NextReadSize(8192, kNoContentLength, 1u << 30), 8192u);

  int position = 0, max = 0;
  DownloadProgressRange(25, 2, 0, position, max);
  EXPECT_EQ(position, 1);
  EXPECT_EQ(max, 14);  // ceil(25 / 2) + 1
  DownloadProgressRange(kNoContentLength, 8192, 0, position, max);
  EXPECT_EQ(max, 524289);
}

TEST(InetLogic, OnlyTheClientsOwnPartialFilesCountAsPartial) {
  struct Case {
    const char* name;
    bool partial;
  } cases[] = {
      {"Pad.1509950440", true},   {"PAD.7", true},    {"Pad.original", false},
      {"Pad.info", false},        {"Pad.exe", false}, {"Pad.", false},
      {"Pad.12345678901", false}, {"Pad.12a", false}, {"Pad", false},
      {"PadAgent.1", false},      {"Pa.1", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPartialFileName("Pad", c.name), c.partial) << c.name;
}

TEST(InetLogic, PartialNamesAddSizeAndDateAsUnsigned32Bits) {
  EXPECT_EQ(PartialFileName("C:\\T\\S.exe", 1000, 0x5A000000u), "C:\\T\\S.exe.1509950440");
  EXPECT_EQ(PartialFileName("S.exe", kNoContentLength, 2), "S.exe.1");  // wraps around
}

TEST(InetLogic, LastModifiedBecomesADosDateOrZero) {
  // 2024-02-29 13:45:58: date (44 << 9 | 2 << 5 | 29), time (13 << 11 | 45 << 5 | 29).
  EXPECT_EQ(DosDateTimeOf(2024, 2, 29, 13, 45, 58), (44u << 9 | 2u << 5 | 29u) << 16 | (13u << 11 | 45u << 5 | 29u));
  EXPECT_EQ(DosDateTimeOf(2023, 2, 29, 0, 0, 0), 0u);  // no such day
  EXPECT_EQ(DosDateTimeOf(0, 0, 0, 0, 0, 0), 0u);      // the zeroed record of a failed query
  EXPECT_EQ(DosDateTimeOf(1979, 12, 31, 23, 59, 59), 0u);
  EXPECT_EQ(DosDateTimeOf(2108, 1, 1, 0, 0, 0), 0u);
  EXPECT_EQ(DosDateTimeOf(2020, 6, 1, 24, 0, 0), 0u);
}

TEST(InetLogic, HttpDatesInEveryFormAndTextsThatAreNone) {
  const std::uint32_t nov6 = DosDateTimeOf(1994, 11, 6, 8, 49, 37);
  ASSERT_NE(nov6, 0u);
  EXPECT_EQ(HttpDateToDos("Sun, 06 Nov 1994 08:49:37 GMT"), nov6);
  EXPECT_EQ(HttpDateToDos("Sunday, 06-Nov-94 08:49:37 GMT"), nov6);
  EXPECT_EQ(HttpDateToDos("Sun Nov  6 08:49:37 1994"), nov6);
  EXPECT_EQ(HttpDateToDos("Thu, 04 Mar 2021 05:06:08 GMT"), DosDateTimeOf(2021, 3, 4, 5, 6, 8));
  for (const char* bad : {"", "yesterday at noon", "Sun, 31 Feb 2021 08:49:37 GMT", "Sun, 06 Nov 1994",
                          "06 Nov 1994 25:00:00", "Sun, 06 Xyz 1994 08:49:37 GMT", "1 2 3 4 5 6",
                          "Sun, 06 Nov 1994 08:49:37 08:49:37", "99999999999999999999"})
    EXPECT_EQ(HttpDateToDos(bad), 0u) << bad;
}

TEST(InetLogic, AShortBodyIsAnError) {
  EXPECT_EQ(ShortTransferError("S.exe", 100, 100), "");
  EXPECT_EQ(ShortTransferError("S.exe", kNoContentLength, 5), "");  // no length: the caller decides
  EXPECT_EQ(ShortTransferError("S.exe", 100, 50), "S.exe --- Error downloading file (50 of 100 bytes received)");
  EXPECT_EQ(DownloadErrorText("S.exe", ""), "S.exe --- Error downloading file");
}

TEST(InetLogic, WhatTheServerSendsDecidesTheDownload) {
  // The header: no content, or too much announced for memory, ends it before the body.
  EXPECT_EQ(DownloadHeaderError("http://h/a.txt", 0, false), "http://h/a.txt --- File Not Found !");
  EXPECT_EQ(DownloadHeaderError("http://h/a.txt", kMemoryDownloadCap + 1, true),
            "a.txt --- Error downloading file (1048577 bytes are more than 1048576 for a download into memory)");
  for (std::uint32_t size : {1u, kMemoryDownloadCap, kNoContentLength})
    EXPECT_EQ(DownloadHeaderError("http://h/a.txt", size, true), "") << size;
  EXPECT_EQ(DownloadHeaderError("http://h/a.txt", kMemoryDownloadCap + 1, false), "");

  // Memory: pieces up to the cap are kept; the piece that passes it empties the content.
  std::string content(kMemoryDownloadCap - 2, 'x'), error;
  EXPECT_TRUE(TakeMemoryPiece(content, "ab", 2, "a.txt", error));
  EXPECT_EQ(content.size(), kMemoryDownloadCap);
  EXPECT_FALSE(TakeMemoryPiece(content, "c", 1, "a.txt", error));
  EXPECT_EQ(content, "");
  EXPECT_EQ(error, "a.txt --- Error downloading file (more than 1048576 bytes for a download into memory)");

  // A file: only exactly the announced length is the whole file.
  EXPECT_TRUE(PartialFileComplete(10, 10));
  for (std::int64_t size : {9, 11, -1}) EXPECT_FALSE(PartialFileComplete(10, size)) << size;
  EXPECT_FALSE(PartialFileComplete(kNoContentLength, std::int64_t(kNoContentLength)));
  // Into a file, only a body without a length stops at the cap (it is never taken).
  EXPECT_EQ(NoLengthFileError("a.exe", kNoContentLength, kMemoryDownloadCap), "");
  EXPECT_EQ(NoLengthFileError("a.exe", kNoContentLength, kMemoryDownloadCap + 1),
            "a.exe --- Error downloading file (more than 1048576 bytes without a length)");
  EXPECT_EQ(NoLengthFileError("a.exe", 5000000, 4000000), "");
}

TEST(WebLogic, ConfirmationShowsTheSizeInMegabytes) {
  EXPECT_EQ(WebConfirmText("Size: <SIZE> MB, <SIZE>, <size>", "5242880"), "Size: 5.00 MB, 5.00, <size>");
  EXPECT_EQ(WebConfirmText("<SIZE>", "524288"), "0.500");
  EXPECT_EQ(WebConfirmText("<SIZE>", "52428800"), "50.0");
  EXPECT_EQ(WebConfirmText("<SIZE>", "big"), "0.000");
}

namespace {
// A stub image of size bytes whose PackEnd (bytes 248..255) is end.
std::string Image(std::size_t size, std::uint32_t end) {
  std::string image(size, 'x');
  std::uint32_t high = 0;
  std::memcpy(&image[pack::kPackEndPosHigh], &high, 4);
  std::memcpy(&image[pack::kPackEndPosLow], &end, 4);
  return image;
}
}  // namespace

TEST(WebLogic, AgentImageKeepsThePackageAndMarksItsTrailer) {
  // The block after PackEnd (a signature) is cut off, whatever its size: the flag lies
  // inside the signed bytes, so a kept signature could never verify.
  for (std::size_t block : {5000u, 10000u, 15000u}) {
    const std::string agent = WebAgentImage(Image(20000 + block, 20000));
    ASSERT_EQ(agent.size(), 20000u) << block;
    EXPECT_EQ(agent[19995], 1);
  }
  // No PackEnd (or one outside the image): the file's end.
  std::string agent = WebAgentImage(Image(1000, 0));
  EXPECT_EQ(agent[995], 1);
  agent = WebAgentImage(Image(1000, 5000));
  ASSERT_EQ(agent.size(), 1000u);
  EXPECT_EQ(agent[995], 1);
}

TEST(WebLogic, AgentImageCarriesTheSignerRecordAfterItsPackage) {
  const std::string record = SignerRecord(SignerIdentity("CN=Vendor", "CN=CA"));
  for (std::uint32_t end : {15000u, 0u}) {  // signed stub; a stub without PackEnd
    const std::string agent = WebAgentImage(Image(end ? 17000 : 15000, end), record);
    ASSERT_EQ(agent.size(), 15000u + record.size()) << end;
    EXPECT_EQ(PackEndFromImage(agent), 15000u);
    EXPECT_EQ(agent[14995], 1);
    std::string identity;
    EXPECT_TRUE(ParseSignerRecord(agent.substr(15000), identity));
  }
}
