// The command line's switches on arbitrary text: the raw line and the program path are
// both untrusted (a shortcut or another program writes them). Every accessor answers;
// a value given is a trimmed piece of the line.
#include <cstdlib>
#include <string>
#include <vector>

#include "system/CommandLine.h"
#include "system/Utils.h"
#include "tests/fuzz/FuzzFields.h"

// Fields (split at 0x00): the raw command line, the program path and a switch name.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::vector<std::string> f = FuzzFields(data, size, 3, '\0');
  SetCommandLineSource(f[0], f[1]);
  const std::string args = CommandLineArgs();
  if (args.size() > f[0].size() || Trim(args) != args) std::abort();
  for (char switchChar : {'/', '-'}) (void)SwitchList(switchChar);
  const std::string absent = "\x01" "absent";
  const std::string value = GetSwitchValue(f[2], absent);
  if (value != absent && (value.size() > f[0].size() || Trim(value) != value)) std::abort();
  (void)GetSwitchInt(f[2], -1);
  (void)HasSwitch(f[2]);
  (void)ExeFileName(true);
  (void)ExeFolder(false);
  SetCommandLineSource("", "");
  return 0;
}
