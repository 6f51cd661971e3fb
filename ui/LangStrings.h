#pragma once
// Texts shown during an installation: a built-in English default for every key, and the
// lookup in the package's language table (the entry for the system's language, else the
// "English" entry, else the only entry). The chosen entry is cached for the process.
//
// The language table is package bytes: any content (empty, malformed, hundreds of
// entries) only leads to the defaults, never to a failure.
#include <functional>
#include <string>

// Built-in defaults of the installation texts ("s0".."s12" and the message-box keys).
namespace lang {
constexpr const char kS0[] = "Zorvik Installation Suite";
constexpr const char kS1[] = "Extracting Files...";
constexpr const char kS2[] = "Zorvik will extract files to your Temp Drive (<DRIVE>)<P>";
constexpr const char kS3[] = "Limited Free Space on your Temp Drive! (<DRIVE>)<P>";
constexpr const char kS4[] = "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>";
constexpr const char kS5[] = "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>";
constexpr const char kS6[] = "<P>Continue with Setup?<P>";
constexpr const char kS7[] = "Bad CRC!<P>This indicates that your setup file might be corrupted...";
constexpr const char kS8[] = "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue";
constexpr const char kS10[] = "Downloading File...";
constexpr const char kS11[] =
    "<b>INTERNET DOWNLOAD</b><p><p>Zorvik will download the Setup File from the Internet...<p>"
    "Please make sure your Internet connection is properly set.<p><p>Continue with Setup?<p><P>Size: <SIZE> MB<P>";
constexpr const char kS12[] = "No valid Internet Connection.<p>Can not Download File!";
constexpr const char kBtnText[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
constexpr const char kError[] = "Error";
constexpr const char kAttention[] = "Attention";
constexpr const char kConfirm[] = "Confirm";
constexpr int kCharset = 0;
constexpr int kFontSize = 8;
constexpr const char kFontName[] = "Tahoma";
}  // namespace lang

// The built-in default of a key (case ignored; "Charset" and "FontSize" as digits);
// empty for an unknown key.
std::string LangDefault(const std::string& key);

// The entry of the table whose item 0 equals name (both trimmed, case ignored); when
// none does and the table holds exactly one entry, that entry; else "*".
std::string FindLangEntry(const std::string& langTable, const std::string& name);

// The entry for sysLanguage, else the "English" entry (FindLangEntry rules); "*" for none.
std::string ChooseLangEntry(const std::string& langTable, const std::string& sysLanguage);

// The key's value in an entry (GetKeyValue rules: present with an empty value gives
// ""), or def when the key is absent or the entry is "*" / empty.
std::string LangEntryString(const std::string& entry, const std::string& key, const std::string& def);

// The process-wide cached entry: chosen from langTable on the first call (sysLanguage is
// asked then only) and kept for the life of the process; later tables are not looked at.
const std::string& CachedLangEntry(const std::string& langTable,
                                   const std::function<std::string()>& sysLanguage);

// The lookup of TGFileInfo::GetLangString: the cached entry (chosen with
// SysLanguageName) answers key, else def.
std::string GetLangString(const std::string& langTable, const std::string& key, const std::string& def);
// "Charset" and "FontSize" as integers (0 and 8 when absent or not a number), "FontName".
int GetLangCharset(const std::string& langTable);
int GetLangFontSize(const std::string& langTable);
std::string GetLangFontName(const std::string& langTable);
