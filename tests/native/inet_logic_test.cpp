#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

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
  for (std::uint64_t size : {std::uint64_t(1), std::uint64_t(kMemoryDownloadCap), kNoContentLength})
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

TEST(InetLogic, FileSizeComesFromTheAnswerToItsFirstByte) {
  struct Case {
    std::uint32_t status;
    const char* range;
    std::uint64_t length;
    std::int64_t size;
  };
  const Case cases[] = {
      {206, "bytes 0-0/104857600", 1, 104857600},
      {206, " bytes 0-99/5000000000 ", 100, 5000000000},  // a larger span than asked, past 4 GiB
      {416, "bytes */0", 0, 0},                           // an empty file refuses the range
      {200, "", 659526, 659526},                          // the range ignored: the whole body's length
      {200, "", kNoContentLength, -1},
      {206, "bytes 0-0/*", 1, -1},  // total unknown
      {206, "", 1, -1},
      {206, "bytes */100", 1, -1},
      {416, "bytes 0-0/100", 0, -1},
      {206, "bytes 0-0/-5", 1, -1},
      {206, "bytes 0-0/99999999999999999999", 1, -1},
      {206, "items 0-0/100", 1, -1},
      {404, "bytes 0-0/100", 100, -1},  // an error page's own length is not the file's
      {500, "", 100, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FileSizeFromFirstByteAnswer(c.status, c.range, c.length), c.size) << c.status << " " << c.range;
}

TEST(InetLogic, ContentLengthsAreReadIn64BitsAndBoundedByTheCaller) {
  // The header's text: lengths past 4 GiB stay whole; a sign or other text is no length.
  EXPECT_EQ(ParseContentLength(false, ""), kNoContentLength);
  EXPECT_EQ(ParseContentLength(true, " 5000000000 "), 5000000000u);
  EXPECT_EQ(ParseContentLength(true, "4294967294"), 4294967294u);
  for (const char* bad : {"-2", "", "12abc", "+5", "0x10", "99999999999999999999"})
    EXPECT_EQ(ParseContentLength(true, bad), kBadContentLength) << bad;
  EXPECT_EQ(DownloadHeaderError("http://h/S.exe", kBadContentLength, false),
            "S.exe --- Error downloading file (the Content-Length is no length)");
  // More announced than the caller takes, or than the drive holds: refused before the body.
  EXPECT_EQ(DownloadHeaderError("http://h/S.exe", 4294967294u, false, 3000000),
            "S.exe --- Error downloading file (4294967294 bytes announced, more than the 3000000 expected)");
  EXPECT_EQ(DownloadHeaderError("http://h/S.exe", 3000000, false, 3000000), "");
  EXPECT_EQ(NoRoomError("S.exe", 5000000000u, 4000000000u),
            "S.exe --- Error downloading file (5000000000 bytes announced, more than the 4000000000 bytes "
            "free on the drive less 268435456 kept free)");
  EXPECT_EQ(NoRoomError("S.exe", 5000000000u, 0), "");  // free space not known
  EXPECT_EQ(NoRoomError("S.exe", kNoContentLength, 10), "");
  // A size that fits the drive but not beside its margin fills the system drive: refused.
  const std::uint64_t free = 10'000'000'000;
  EXPECT_EQ(NoRoomError("S.exe", free - kFreeSpaceMargin, free), "");
  EXPECT_NE(NoRoomError("S.exe", free - kFreeSpaceMargin + 1, free), "");
  EXPECT_NE(NoRoomError("S.exe", free - 1000, free), "");
  EXPECT_NE(NoRoomError("S.exe", 1, kFreeSpaceMargin), "");
  // A length past 4 GiB: 8 KB chunks, the progress range, the partial name's low 32 bits.
  EXPECT_EQ(DownloadChunkSize(5000000000u), 8192u);
  EXPECT_EQ(PartialFileName("S.exe", 5000000000u, 0), "S.exe.705032704");
  int position = 0, max = 0;
  DownloadProgressRange(5000000000u, 8192, 0, position, max);
  EXPECT_EQ(max, 610353);
  // The whole transfer's time: 10 minutes and one second for every 2 KB it may bring.
  EXPECT_EQ(MostBodyBytes(kNoContentLength, kAnySize), kMemoryDownloadCap);
  EXPECT_EQ(MostBodyBytes(kNoContentLength, 5000), 5000u);
  EXPECT_EQ(MostBodyBytes(20000000, kAnySize), 20000000u);
  EXPECT_EQ(TransferTimeLimitMs(kMemoryDownloadCap), 600000 + 512000);
  // Hours, not years, whatever a record or server names (2^40 bytes: 17 years at 2 KB/s).
  for (std::uint64_t bytes : {std::uint64_t(1) << 40, std::uint64_t(1) << 32, kAnySize})
    EXPECT_EQ(TransferTimeLimitMs(bytes), kTransferMostMs) << bytes;
  EXPECT_LE(kTransferMostMs, std::int64_t(12) * 3600 * 1000);
  // Each read waits no longer than the transfer has left.
  EXPECT_EQ(ReadTimeoutMs(500000, 180000), 180000u);
  EXPECT_EQ(ReadTimeoutMs(4000, 180000), 4000u);
  EXPECT_EQ(ReadTimeoutMs(0, 180000), 1u);
  EXPECT_EQ(ReadTimeoutMs(-20, 180000), 1u);
}

namespace {
// A server's body as the loop meets it: pieces of at most pieceLimit bytes, endless or
// ending, a read failing at a given point, a clock that moves msPerRead with each read, the
// user aborting before a given read.
struct Source {
  Source(std::string body, bool endless = false, std::uint32_t pieceLimit = 8192, int failAtRead = -1,
         int abortAtRead = -1, std::int64_t msPerRead = 1)
      : body(std::move(body)),
        endless(endless),
        pieceLimit(pieceLimit),
        failAtRead(failAtRead),
        abortAtRead(abortAtRead),
        msPerRead(msPerRead) {}
  std::string body;
  bool endless;
  std::uint32_t pieceLimit;
  int failAtRead;
  int abortAtRead;
  std::int64_t msPerRead;

  int reads = 0;
  std::size_t sent = 0;
  std::uint32_t largestWant = 0;
  std::int64_t now = 0;
  std::string written;
  int progressCalls = 0;

  DownloadIo Io() {
    DownloadIo io;
    io.read = [this](char* buffer, std::uint32_t want, std::uint32_t& read) {
      largestWant = std::max(largestWant, want);
      now += msPerRead;
      if (reads++ == failAtRead) return false;
      const std::size_t left = endless ? want : body.size() - sent;
      read = static_cast<std::uint32_t>(std::min<std::size_t>({want, pieceLimit, left}));
      for (std::uint32_t i = 0; i < read; ++i) buffer[i] = endless ? 'e' : body[sent + i];
      sent += read;
      return true;
    };
    io.write = [this](const char* data, std::uint32_t size) {
      written.append(data, size);
      return true;
    };
    io.readErrorText = [] { return std::string("reset"); };
    io.writeErrorText = [] { return std::string("disk full"); };
    io.aborted = [this] { return reads == abortAtRead; };
    io.nowMs = [this] { return now; };
    io.progress = [this](std::uint64_t, std::uint32_t) { ++progressCalls; };
    return io;
  }
};

const char kPage[] = "<html><head><title>404 Not Found</title></head><body>gone</body></html>";
}  // namespace

TEST(InetLogic, TheBodyLoopKeepsEveryBound) {
  const std::string file(20000, 'f');
  struct Case {
    const char* what;
    std::uint32_t status;
    std::uint64_t size;
    bool intoMemory;
    std::uint64_t maxBytes;
    std::int64_t timeLimitMs;
    Source source;
    const char* error;    // "" or the error's start
    std::uint64_t taken;  // bytes written (or kept in memory)
    bool overBound;
  } cases[] = {
      {"whole file", 200, file.size(), false, kAnySize, 60000, {file}, "", file.size(), false},
      {"body longer than its length", 200, 100, false, kAnySize, 60000, {file}, "", 100, false},
      {"one byte short",
       200,
       file.size() + 1,
       false,
       kAnySize,
       60000,
       {file},
       "S.exe --- Error downloading file (20000 of 20001 bytes received)",
       file.size(),
       false},
      {"no length, endless, small bound",
       200,
       kNoContentLength,
       false,
       5000,
       60000,
       {"", true},
       "S.exe --- Error downloading file (more than the 5000 bytes expected)",
       0,
       true},
      {"no length, endless, into memory",
       200,
       kNoContentLength,
       true,
       5000,
       60000,
       {"", true},
       "S.exe --- Error downloading file (more than the 5000 bytes expected)",
       0,
       false},
      {"no length, endless, no bound",
       200,
       kNoContentLength,
       false,
       kAnySize,
       60000,
       {"", true},
       "S.exe --- Error downloading file (more than 1048576 bytes without a length)",
       kMemoryDownloadCap,
       false},
      {"trickle past the time limit",
       200,
       file.size(),
       false,
       kAnySize,
       3000,
       {file, false, 10, -1, -1, 100},
       "S.exe --- Error downloading file (not complete after 3 s, the longest it may take)",
       310,
       true},
      {"a read fails",
       200,
       file.size(),
       false,
       kAnySize,
       60000,
       {file, false, 8192, 1},
       "S.exe --- Error downloading file (reset)",
       2000,
       false},
      {"aborted",
       200,
       file.size(),
       false,
       kAnySize,
       60000,
       {file, false, 8192, -1, 1},
       "Download Aborted",
       2000,
       false},
      {"404 with an HTML page",
       404,
       sizeof kPage - 1,
       false,
       kAnySize,
       60000,
       {kPage},
       "<B>404 File Not Found...</B><P><P>URL:  http://h/S.exe.",
       0,
       false},
      {"500 with a plain body",
       500,
       file.size(),
       false,
       kAnySize,
       60000,
       {file},
       "S.exe --- Error downloading file (HTTP 500 Internal Server Error)",
       0,
       false},
      {"no status",
       0,
       kNoContentLength,
       true,
       kAnySize,
       60000,
       {file},
       "S.exe --- Error downloading file (the transfer did not complete)",
       0,
       false},
  };
  for (Case& c : cases) {
    DownloadAnswer answer;
    answer.url = "http://h/S.exe";
    answer.status = c.status;
    answer.reason = c.status == 500 ? "Internal Server Error" : "";
    answer.size = c.size;
    answer.intoMemory = c.intoMemory;
    answer.maxBytes = c.maxBytes;
    answer.timeLimitMs = c.timeLimitMs;
    std::string content;
    const DownloadBodyResult result = ReceiveDownloadBody(answer, c.source.Io(), content);
    EXPECT_EQ(result.error.substr(0, std::strlen(c.error)), c.error) << c.what;
    if (*c.error == 0) {
      EXPECT_EQ(result.error, "") << c.what;
    }
    const std::string& taken = c.intoMemory ? content : c.source.written;
    EXPECT_EQ(taken.size(), c.taken) << c.what;
    if (c.intoMemory && result.error.empty()) {
      EXPECT_EQ(result.total, content.size()) << c.what;
    }
    EXPECT_EQ(result.overBound, c.overBound) << c.what;
    // Reads of at most the chunk (a tenth of the length, up to 8 KB); an error status's
    // body is read no further than its first kErrorPageProbe bytes.
    EXPECT_LE(c.source.largestWant, DownloadChunkSize(c.size)) << c.what;
    if (!IsSuccessStatus(c.status)) {
      EXPECT_LE(c.source.sent, kErrorPageProbe) << c.what;
    }
  }
  // A whole file: every byte in order, progress after every chunk.
  Source whole{file};
  DownloadAnswer answer;
  answer.url = "http://h/S.exe";
  answer.status = 200;
  answer.size = file.size();
  answer.timeLimitMs = 60000;
  std::string content;
  EXPECT_EQ(ReceiveDownloadBody(answer, whole.Io(), content).error, "");
  EXPECT_EQ(whole.written, file);
  EXPECT_EQ(whole.progressCalls, 10);
}

// Wine's WinINet reads a request's unread rest before its close returns, as long as the
// server sends: a first-byte request answered with the whole file (the range ignored) or an
// aborted download of an endless body is left open instead of closed.
TEST(InetLogic, OnlyARequestWithLittleUnreadIsClosed) {
  const struct {
    std::uint64_t size, total;
    std::uint64_t rest;
    bool close;
  } cases[] = {
      {1, 0, 1, true},                                // 206 to "bytes=0-0"
      {0, 0, 0, true},                                // no body
      {kCloseUnreadMost, 0, kCloseUnreadMost, true},  // a small file, range ignored
      {kCloseUnreadMost + 1, 0, kCloseUnreadMost + 1, false},
      {157286400, 0, 157286400, false},                                        // 150 MB, range ignored
      {157286400, 157286000, 400, true},                                       // aborted near the end
      {std::uint64_t(1) << 62, 8192, (std::uint64_t(1) << 62) - 8192, false},  // "endless"
      {1000, 5000, 0, true},                                                   // more read than announced
      {kNoContentLength, 0, kNoContentLength, false},                          // not known
      {kBadContentLength, 0, kNoContentLength, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnreadRest(c.size, c.total), c.rest) << c.size << " " << c.total;
    EXPECT_EQ(CloseIsBounded(UnreadRest(c.size, c.total)), c.close) << c.size << " " << c.total;
  }
}

TEST(WebLogic, DownloadLimitFollowsTheStubsSize) {
  const std::uint64_t cap = kDefaultLargestSetupFile;
  EXPECT_EQ(WebDownloadLimit("5242880", cap), 2u * 5242880 + 1048576);
  EXPECT_EQ(WebDownloadLimit(" 100 ", cap), 200u + 1048576);
  // Without a size of its own the stub still has a bound: the package's largest setup file.
  for (const char* none : {"", "0", "-5", "big", "99999999999999999999"})
    EXPECT_EQ(WebDownloadLimit(none, cap), cap) << none;
  EXPECT_EQ(WebDownloadLimit("", 300'000'000), 300'000'000u);
  EXPECT_EQ(WebDownloadLimit("3000000000", cap), cap);
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
