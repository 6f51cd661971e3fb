// The benchmark's stub side: ExtractPackage of the stub, as the install flow calls it,
// timed by its own "UnCompressTime" figure.
//   extractrun PACKAGE DESTFOLDER
#include <windows.h>

#include <cstdio>
#include <string>

#include "MemoryLine.h"
#include "internet/ZProgBar.h"
#include "package/UnPack.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extractrun PACKAGE DESTFOLDER\n");
    return 2;
  }
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
