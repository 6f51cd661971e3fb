#include "folders/VariablesLogic.h"

#include <cmath>
#include <vector>

#include "system/ZSub.h"

namespace {

constexpr const char kDatePrefix[] = "<Date=";
constexpr std::size_t kDatePrefixLength = sizeof kDatePrefix - 1;

bool IsAsciiLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

std::string Two(int number) { return IntToZeroPadded(number, 2); }

std::string DateValue(char code, const DateValues& date) {
  const DateTimeParts& p = date.now;
  const std::string dd = Two(p.day), mm = Two(p.month), yy = Two(p.year % 100), yyyy = IntToZeroPadded(p.year, 4);
  switch (code) {
    case '#': {
      const std::string& month = p.month >= 1 && p.month <= 12 ? date.monthNames[p.month] : std::string();
      return dd + date.dateSeparator + month + date.dateSeparator + yyyy;
    }
    case '0': {
      const double days = std::trunc(EncodeDateTime(p) - EncodeDateTime(2000, 1, 1));
      return std::to_string(static_cast<long long>(days));
    }
    case '1': return dd + '-' + mm + '-' + yy;
    case '2': return mm + '-' + dd + '-' + yy;
    case '3': return yy + '-' + mm + '-' + dd;
    case '4': return dd + '-' + mm + '-' + yyyy;
    case '5': return mm + '-' + dd + '-' + yyyy;
    case '6': return yyyy + '-' + mm + '-' + dd;
    case '7':
      return yyyy + '-' + mm + '-' + dd + ' ' + Two(p.hour) + date.timeSeparator + Two(p.minute) +
             date.timeSeparator + Two(p.second);
    default: return std::string();
  }
}

bool IsDateCode(char code) { return code == '#' || (code >= '0' && code <= '7'); }

bool HasDots(const std::string& text) {
  return text.find("\\..") != std::string::npos || text.find("..\\") != std::string::npos;
}

// Each item of a closed list resolved alone, in one pass over the list.
std::string ResolveListItems(const std::string& list, const VariableValues& values) {
  const char sep = list[0];
  std::vector<std::string> items;
  bool sepInItem = false;
  for (std::size_t begin = 1, end; (end = list.find(sep, begin)) != std::string::npos; begin = end + 1) {
    items.push_back(list.substr(begin, end - begin));
    if (HasDots(items.back())) {
      items.back() = values.fullPath(items.back());
      sepInItem = sepInItem || items.back().find(sep) != std::string::npos;
    }
  }
  // As the list helpers do: a separator inside an item gives the list another separator.
  const char joint = sepInItem ? SUB::kAssemblySeparator : sep;
  std::string result(1, joint);
  for (const auto& item : items) result += item + joint;
  return sepInItem ? SUB::Reseparate(result) : result;
}

std::string ResolveDots(const std::string& text, const VariableValues& values) {
  if (!HasDots(text) || !values.fullPath) return text;
  if ((text[0] == ',' || text[0] == '|') && SUB::CountItems(text) >= 1) return ResolveListItems(text, values);
  return values.fullPath(text);
}

std::string Plain(const std::string& text, const std::string& name, const std::string& value) {
  return ReplaceTextNoCase(text, name, value);
}

std::string FolderStage(std::string text, const std::string& sep, const VariableValues& v) {
  const std::string before = text;
  auto folder = [&](const char* name, const std::string& value) {
    text = ReplaceFolderVariable(text, name, value, sep);
  };
  text = Plain(text, "<UnInstallExePath>", "");
  if (PosNoCase("<RunTimeDir_", text) > 0) {
    for (int n = 1; n <= 8; ++n)
      folder(("<RunTimeDir_" + std::to_string(n) + ">").c_str(), v.runTimeFolders[n - 1]);
  }
  folder("<Application Folder>", v.installFolder);
  folder("<Common Folder>", v.commonFolder);
  folder("<Auxiliary Folder>", v.auxiliaryFolder);
  folder("<Windows Directory>", v.windowsFolder);
  folder("<System Directory>", v.systemFolder);
  folder("<System16 Directory>", v.system16Folder);
  // A text that already used the long names drops the short installation variables.
  for (const char* name : {"<InstallDir>", "<InstallCommonDir>", "<InstallAuxDir>"})
    if (text != before) text = Plain(text, name, "");
  text = Plain(text, "<AbsoluteDir>", "");
  folder("<InstallDir>", v.installFolder);
  folder("<InstallCommonDir>", v.commonFolder);
  folder("<InstallAuxDir>", v.auxiliaryFolder);
  text = Plain(text, "<AbsoluteDir>", "");
  folder("<WinDir>", v.windowsFolder);
  folder("<WinSysDir>", v.systemFolder);
  folder("<WinSys32Dir>", v.systemFolder);
  folder("<WinSys16Dir>", v.system16Folder);
  const struct {
    const char* drive;
    const char* disk;
    const std::string& folder;
  } kDrives[] = {{"<InstallDrive>", "<InstallDisk>", v.installFolder},
                 {"<WinDrive>", "<WinDisk>", v.windowsFolder},
                 {"<WinSysDrive>", "<WinSysDisk>", v.systemFolder},
                 {"<OriginDrive>", "<OriginDisk>", v.originFolder}};
  for (const auto& d : kDrives) text = Plain(text, d.drive, d.folder.substr(0, 3));
  for (const auto& d : kDrives) text = Plain(text, d.disk, d.folder.substr(0, 2));
  folder("<StartMenuDir>", v.startMenuFolder);
  folder("<ProgramFilesDir>", v.programFilesFolder);
  folder("<CommonFilesDir>", v.commonFilesFolder);
  folder("<FontDir>", v.fontFolder);
  folder("<SrcDir>", v.srcFolder);
  folder("<OriginDir>", v.originFolder);
  folder("<TempDir>", v.tempFolder);
  folder("<ServiceDir>", v.srcFolder);
  folder("<UserDir>", v.userDir);
  folder("<UserAppDataDir>", v.userAppDataDir);
  folder("<UserLocalAppDataDir>", v.userLocalAppDataDir);
  folder("<MyDocumentsDir>", v.myDocumentsDir);
  folder("<UserStartMenuDir>", v.userStartMenuDir);
  folder("<UserStartProgramMenuDir>", v.userStartProgramMenuDir);
  folder("<UserDesktopDir>", v.userDesktopDir);
  folder("<DocumentsAndSettingsDir>", v.documentsAndSettingsDir);
  folder("<AllUsersDir>", v.allUsersDir);
  folder("<AllUsersAppDataDir>", v.allUsersAppDataDir);
  folder("<AllUsersDocumentsDir>", v.allUsersDocumentsDir);
  folder("<AllUsersStartMenuDir>", v.allUsersStartMenuDir);
  folder("<AllUsersStartProgramMenuDir>", v.allUsersStartProgramMenuDir);
  folder("<AllUsersDesktopDir>", v.allUsersDesktopDir);
  if (text != before) text = CollapseBackslashes(text, false);
  return text;
}

std::string ValueStage(std::string text, const VariableValues& v) {
  text = ExpandDateVariable(text, v.date);
  text = Plain(text, "<LoggedUserName>", v.loggedUserName);
  text = Plain(text, "<UserName>", v.registeredOwner);
  text = Plain(text, "<CompanyName>", v.registeredOrganization);
  text = Plain(text, "<ComputerName>", v.computerName);
  text = Plain(text, "<CurrentDomainName>", v.userDomain);
  text = Plain(text, "<LastExecutableExitCode>", "0");
  text = Plain(text, "<ReqFreeDiskSpaceMB>", "0");
  for (const char* name : {"<EnteredUserName>", "<EnteredCompanyName>", "<EnteredStartProgramMenu>",
                           "<VendorCompanyName>", "<ProjectName>", "<ProgramDescriptiveName>", "<ProgramVersion>",
                           "<SelectedLanguage>"})
    text = Plain(text, name, "");
  return text;
}

}  // namespace

std::string ReplaceFolderVariable(const std::string& text, const std::string& name, const std::string& value,
                                  const std::string& separator) {
  const int pos = PosNoCase(name, text);
  if (pos == 0 || name.empty()) return text;
  const std::size_t after = static_cast<std::size_t>(pos - 1) + name.size();
  bool dropSeparator = after >= text.size() || text[after] == ' ';
  if (!dropSeparator) {
    const char next = text[after];
    dropSeparator = text.front() == text.back() && next == text.front() && next != '<' && !IsAsciiLetter(next);
  }
  return ReplaceTextNoCase(text, name, dropSeparator ? value : value + separator);
}

std::string ExpandDateVariable(const std::string& text, const DateValues& date) {
  const int pos = PosNoCase(kDatePrefix, text);
  if (pos == 0) return text;
  const std::size_t codeAt = static_cast<std::size_t>(pos - 1) + kDatePrefixLength;
  if (text.find('>', codeAt) == std::string::npos) return text;
  const char code = text[codeAt];
  if (!IsDateCode(code)) return text;  // also ">" itself: "<Date=>" has no code
  // The prefix, the code and the one character after it (meant to be ">").
  return text.substr(0, pos - 1) + DateValue(code, date) + text.substr(codeAt + 2);
}

std::string ExpandVariablesWith(const std::string& text, const std::string& separator, bool resolveDots,
                                bool folders, const VariableValues& values) {
  std::string result = text;
  if (result.find('<') != std::string::npos) {
    result = ValueStage(result, values);
    if (folders) result = FolderStage(result, separator, values);
  }
  return resolveDots ? ResolveDots(result, values) : result;
}
