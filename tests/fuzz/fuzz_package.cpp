// Trailer and header reader on arbitrary files: every accessor, nothing read outside.
#include <cstdint>

#include "package/PackX.h"
#include "tests/fuzz/FuzzFile.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string& name = WriteFuzzFile(data, size);
  TGFileInfo info(name);
  std::string all = info.LangTable + info.StubInfo + info.WebInfo + info.UpdateUrl() + info.InfoFileName() +
                    info.OriginalFileName() + info.AgentExeName() + info.StubToken(true) + info.WebUrl() +
                    info.WebFileName() + info.WebToken(true) + info.WebSize();
  (void)all;
  (void)info.SpaceNeededForCluster(4096);
  (void)info.HiddenByDefault();
  (void)info.WebNoLocal();
  PackFile file(name);
  PackTrailer t{};
  ReadTrailer(file.get(), t);
  (void)PackEndOf(file.get());
  (void)PackEndFromImage(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
