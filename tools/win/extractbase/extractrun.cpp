// The benchmark's stub side.
//   extractrun PACKAGE DESTFOLDER [--window]
//       ExtractPackage of the stub, as the install flow calls it, timed by its own
//       "UnCompressTime" figure. --window: the main window's progress and activity bars
//       exist and are shown, as in a foreground install.
//   extractrun --checksum PACKAGE
//       the package checksum the extraction computes first (PackCheckSum), ten times over.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "MemoryLine.h"
#include "internet/ZProgBar.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "system/Files.h"
#include "system/WinUtils.h"
#include "ui/StatusView.h"

namespace {

// Passes of the checksum: one pass over a file in the page cache takes a few milliseconds.
constexpr int kPasses = 10;

// A window of the main window's size with its two bars (positions as in StubWinMain),
// which the extraction drives through the view as it drives the main window's.
StatusView barsView;

void ShowBars() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND window = CreateWindowExA(0, "Static", "extractrun", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 100, 100,
                                492, 110, nullptr, nullptr, instance, nullptr);
  barsView.window = window;
  barsView.progressBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 70, 38, 392, 13,
                                         window, nullptr, instance, nullptr);
  barsView.activityBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 416, 20, 46, 13,
                                         window, nullptr, instance, nullptr);
  SetStatusView(&barsView);
  UpdateWindow(window);
}

int Usage() {
  std::fprintf(stderr, "usage: extractrun PACKAGE DESTFOLDER [--window]\n       extractrun --checksum PACKAGE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--checksum") == 0) {
    const std::int64_t started = TickMs();
    std::uint32_t sum = 0;
    for (int pass = 0; pass < kPasses; ++pass) sum = PackCheckSum(argv[2], pack::kTrailerSize);
    const std::int64_t elapsed = TickMs() - started;
    std::printf("sum=%lu\n", static_cast<unsigned long>(sum));
    PrintResult("stub", elapsed, static_cast<std::uint64_t>(FileSizeByName(argv[2])) * kPasses, 0);
    return 0;
  }
  if (argc < 3 || argc > 4 || (argc == 4 && std::strcmp(argv[3], "--window") != 0)) return Usage();
  if (argc == 4) ShowBars();
  bool check = false;
  TExtractDetails details;
  const std::string engine =
      ExtractPackage(argv[1], argv[2], "", false, 0, "", "Attention", "Please insert disk <DISK_NUM>",
                     ProgressCallback, check, &details);
  if (!check || details.Status != TExtractStatus::Ok) {
    std::fprintf(stderr, "extraction failed: %s\n", details.Reason.c_str());
    return 1;
  }
  PrintResult("stub", details.Elapsed, details.BytesWritten, details.FilesWritten);
  return 0;
}
