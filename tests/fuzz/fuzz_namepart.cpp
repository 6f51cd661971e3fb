// A block's name part: path, engine entry and date from arbitrary text.
#include <cstdlib>
#include <string>

#include "package/PackFormat.h"
#include "package/SetupLogic.h"
#include "package/UnPackLogic.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string namePart(reinterpret_cast<const char*>(data), size);
  TBlockName name;
  const bool hasPath = ParseNamePart(namePart, name);
  if (hasPath == name.Path.empty()) std::abort();
  // The path never carries the engine mark; an engine entry always does.
  if (name.Path.find(pack::kEngineMark) != std::string::npos) std::abort();
  if (!name.Engine.empty() && name.Engine.find(pack::kEngineMark) == std::string::npos) std::abort();
  if (namePart.find(pack::kEngineMark) != std::string::npos && name.Engine.empty()) std::abort();
  (void)EngineName(name.Engine);
  return 0;
}
