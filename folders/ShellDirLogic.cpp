#include "folders/ShellDirLogic.h"

#include "system/Utils.h"

namespace {

std::string Join(const std::string& base, const std::string& name) { return SetTrailingBackslash(base, true) + name; }

struct Lookup {
  const FolderSources& sources;

  bool Exists(const std::string& path) const { return !path.empty() && sources.exists(path); }
  std::string Shell(int id) const { return SetTrailingBackslash(sources.shellFolder(id), false); }
  std::string OldShell(int id) const { return SetTrailingBackslash(sources.oldShellFolder(id), false); }
  std::string Windows() const { return SetTrailingBackslash(sources.windowsFolder(), false); }

  // The shell's folder, its parent up to levels times, each step only from an existing one.
  std::string ShellParent(int id, int levels) const {
    std::string path = Shell(id);
    for (int i = 0; i < levels && Exists(path); ++i) path = ParentFolder(path);
    return path;
  }
  // The first candidate that exists, else the last one; candidates are made only as needed.
  template <typename... Fallbacks>
  std::string OrElse(const std::string& first, Fallbacks... fallbacks) const {
    std::string path = first;
    ((path = Exists(path) ? path : fallbacks()), ...);
    return path;
  }
  std::string Profiles() const {
    std::string profiles = Join(Windows(), "Profiles\\") + sources.registeredOwner();
    return Exists(profiles) ? profiles : Windows();
  }
  std::string Folder(SpecialFolder folder) const {
    auto profilesAnd = [this](const char* name) { return [this, name] { return Join(Profiles(), name); }; };
    auto windowsAnd = [this](const char* name) { return [this, name] { return Join(Windows(), name); }; };
    auto userAnd = [this](const char* name) {
      return [this, name] { return Join(Folder(SpecialFolder::UserDir), name); };
    };
    auto allUsersAnd = [this](const char* name) {
      return [this, name] { return Join(Folder(SpecialFolder::AllUsersDir), name); };
    };
    auto profiles = [this] { return Profiles(); };
    auto windows = [this] { return Windows(); };
    switch (folder) {
      case SpecialFolder::UserDir:
        return OrElse(ShellParent(csidl::kPersonalCreate, 1), profiles);
      case SpecialFolder::DocumentsAndSettingsDir:
        return OrElse(ShellParent(csidl::kPersonalCreate, 2), profiles);
      case SpecialFolder::AllUsersDir:
        return OrElse(ShellParent(csidl::kCommonAppDataCreate, 1), windows);
      case SpecialFolder::UserAppDataDir:
        return OrElse(Shell(csidl::kAppDataCreate), profilesAnd("Application Data"));
      case SpecialFolder::UserLocalAppDataDir:
        return OrElse(Shell(csidl::kLocalAppDataCreate), profilesAnd("Application Data"));
      case SpecialFolder::AllUsersAppDataDir:
        return OrElse(Shell(csidl::kCommonAppDataCreate), windowsAnd("Application Data"));
      case SpecialFolder::MyDocumentsDir:
        return OrElse(Shell(csidl::kPersonalCreate), profilesAnd("My Documents"));
      case SpecialFolder::AllUsersDocumentsDir:
        return OrElse(Shell(csidl::kCommonDocumentsCreate), windowsAnd("Documents"));
      case SpecialFolder::UserStartMenuDir:
        return OrElse(OldShell(csidl::kStartMenu), userAnd("Start Menu"), allUsersAnd("Start Menu"));
      case SpecialFolder::AllUsersStartMenuDir:
        return OrElse(OldShell(csidl::kCommonStartMenu), allUsersAnd("Start Menu"));
      case SpecialFolder::UserStartProgramMenuDir:
        return OrElse(OldShell(csidl::kPrograms), userAnd("Start Menu\\Programs"),
                      allUsersAnd("Start Menu\\Programs"));
      case SpecialFolder::AllUsersStartProgramMenuDir:
        return OrElse(OldShell(csidl::kCommonPrograms), allUsersAnd("Start Menu\\Programs"));
      case SpecialFolder::UserDesktopDir:
        return OrElse(OldShell(csidl::kDesktopDirectory), userAnd("Desktop"), allUsersAnd("Desktop"));
      case SpecialFolder::AllUsersDesktopDir:
        return OrElse(OldShell(csidl::kCommonDesktopDirectory), allUsersAnd("Desktop"));
    }
    return std::string();
  }
};

}  // namespace

std::string ParentFolder(const std::string& path) { return SetTrailingBackslash(ExtractFilePath(path), false); }

std::string ProfilesFolder(const FolderSources& sources) { return Lookup{sources}.Profiles(); }

std::string SpecialFolderPath(SpecialFolder folder, const FolderSources& sources, bool withBackslash) {
  return SetTrailingBackslash(Lookup{sources}.Folder(folder), withBackslash);
}

std::string System16Folder(const std::string& systemFolder, const std::string& windowsFolder,
                           const std::function<bool(const std::string&)>& exists) {
  const std::string system = SetTrailingBackslash(systemFolder, false);
  const int last32 = LastPos("32", system);
  if (last32 > 0) {
    const std::string without32 = system.substr(0, last32 - 1) + system.substr(last32 + 1);
    if (!without32.empty() && exists(without32)) return without32;
  }
  const std::string system16 = SetTrailingBackslash(windowsFolder, true) + "System";
  if (exists(system16)) return system16;
  return system;
}
