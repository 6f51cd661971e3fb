// Variable expansion of recorded texts and paths: the text and the recorded folders come
// from ".original" / ".info". A text without "<" and dots is never changed; a name absent
// from a text leaves it as it is; the dots resolution sees each list item alone.
#include <cstdlib>
#include <string>
#include <vector>

#include "folders/VariablesLogic.h"
#include "tests/fuzz/FuzzFields.h"

namespace {

// The system's full-path resolution, enough of it: "X\.." pairs collapse.
std::string FakeFullPath(const std::string& path) {
  std::string p = path;
  for (std::size_t at; (at = p.find("\\..")) != std::string::npos;) {
    const std::size_t start = at == 0 ? std::string::npos : p.rfind('\\', at - 1);
    p.erase(start == std::string::npos ? 0 : start, at + 3 - (start == std::string::npos ? 0 : start));
  }
  return p;
}

VariableValues Values(const std::vector<std::string>& f) {
  VariableValues v;
  v.date.now = {2026, 3, 7, 9, 5, 4};
  v.date.monthNames[3] = "March";
  v.installFolder = f[2];
  v.commonFolder = f[3];
  v.auxiliaryFolder = f[4];
  v.runTimeFolders[0] = f[5];
  v.windowsFolder = "C:\\Windows";
  v.systemFolder = "C:\\Windows\\system32";
  v.originFolder = "E";
  v.tempFolder = "C:\\Temp";
  v.loggedUserName = "<InstallDir>";  // a value that looks like a variable
  v.fullPath = FakeFullPath;
  return v;
}

}  // namespace

// Fields (split at 0x00): the text, a separator, the install, common, auxiliary and first
// run-time folders, and a variable name.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::vector<std::string> f = FuzzFields(data, size, 7, '\0');
  const std::string& text = f[0];
  const VariableValues values = Values(f);
  for (bool folders : {false, true}) {
    for (bool dots : {false, true}) {
      const std::string out = ExpandVariablesWith(text, f[1], dots, folders, values);
      const bool plain = text.find('<') == std::string::npos && text.find("..") == std::string::npos;
      if (plain && out != text) std::abort();
    }
  }
  const std::string replaced = ReplaceFolderVariable(text, f[6], f[2], f[1]);
  if (PosNoCase(f[6], text) == 0 && replaced != text) std::abort();
  (void)ExpandDateVariable(text, values.date);
  return 0;
}
