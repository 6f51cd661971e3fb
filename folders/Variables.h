#pragma once
// Variable expansion over the running system's values (folders/VariablesLogic has the
// rules). The agent turns the recorded path of the program an update stops into a real
// path with it, after handing over the installed program's folders.
#include <string>

#include "folders/VariablesLogic.h"

// The installation, common and auxiliary folders for "<InstallDir>", "<InstallCommonDir>",
// "<InstallAuxDir>" and the long names; empty until set, kept until set again.
void SetInstallDirs(const std::string& installFolder, const std::string& commonFolder,
                    const std::string& auxiliaryFolder);
// The agent passes separator "\" and both options on.
std::string ExpandVariables(const std::string& text, const std::string& separator, bool resolveDots, bool folders);

// The values of this moment (the date, names and folders of the running system).
VariableValues CurrentVariableValues();
