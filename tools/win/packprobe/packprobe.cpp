// packprobe: reads the package of its own installation file the way the stub does and
// prints one "key=value" line per finding, for the package tests under Wine.
//
//   packprobe.exe [FILE]   FILE instead of the own executable (a later volume, say)
//
// Texts are printed with bytes outside 0x20..0x7E (and "\") as \xNN. Exit code 0 when
// the file has a package, 1 when it has none.
#include <windows.h>

#include <cstdio>
#include <string>

#include "package/PackX.h"

namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (unsigned char ch : text) {
    if (ch >= 0x20 && ch <= 0x7E && ch != '\\') {
      out += char(ch);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", ch);
      out += hex;
    }
  }
  return out;
}

void Line(const char* key, const std::string& value) { std::printf("%s=%s\n", key, Escaped(value).c_str()); }
void Line(const char* key, unsigned long long value) { std::printf("%s=%llu\n", key, value); }

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  if (argc > 1) {
    path = argv[1];
  } else {
    char own[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
    if (n == 0 || n >= sizeof own) return 2;
    path.assign(own, n);
  }
  Line("file", path);

  {
    PackFile file(path);
    Line("size", file ? (unsigned long long)FileSize(file.get()) : 0);
    Line("is_pe", file && IsPEFile(file.get()) ? 1 : 0);
    Line("pack_end_pos", file ? ReadPackEndPos(file.get()) : 0);
  }

  TGFileInfo info(path);
  const PackTrailer& t = info.Trailer;
  Line("has_package", info.HasPackage() ? 1 : 0);
  Line("magic", t.PackMagic);
  Line("header_count", t.HeaderCount);
  Line("data_start", t.DataStart);
  Line("files_count", t.FilesCount);
  Line("trailer_size", t.TrailerSize);
  Line("pack_flags", t.PackFlags);
  Line("next_volume", HasNextVolume(t) ? 1 : 0);
  Line("show_temp_note", info.ShowTempNote() ? 1 : 0);
  Line("span_cd", info.SpanCdLauncher() ? 1 : 0);
  Line("activity_bar", info.ShowActivityBar() ? 1 : 0);
  Line("agent_log", info.AgentLogWanted() ? 1 : 0);
  Line("is_web_install", info.IsWebInstall());
  Line("ask_before_download", info.AskBeforeDownload());
  Line("make_agent", info.MakeAgent());
  Line("this_is_agent", info.ThisIsAgent());
  for (int i = 0; i < pack::kSpaceSlots; ++i) {
    std::string key = "space" + std::to_string(i);
    Line(key.c_str(), t.SpaceNeeded[i]);
  }

  std::uint32_t computed = PackCheckSum(path, t.TrailerSize);
  Line("checksum", t.CheckSum);
  Line("computed_checksum", computed);
  Line("checksum_accepted", CheckSumAccepted(computed, t.CheckSum) ? 1 : 0);

  Line("lang_table", info.LangTable);
  Line("stub_info", info.StubInfo);
  Line("web_info", info.WebInfo);
  Line("update_url", info.UpdateUrl());
  Line("info_file", info.InfoFileName());
  Line("agent_exe", info.AgentExeName());
  Line("hidden", info.HiddenByDefault() ? 1 : 0);
  Line("stub_token_raw", info.StubToken(false));
  Line("stub_token", info.StubToken(true));
  Line("web_url", info.WebUrl());
  Line("web_file", info.WebFileName());
  Line("web_no_local", info.WebNoLocal() ? 1 : 0);
  Line("web_size", info.WebSize());
  Line("web_token_raw", info.WebToken(false));
  Line("web_token", info.WebToken(true));

  Line("cluster", DriveClusterSize(path));
  std::printf("space_needed=%.0f\n", info.SpaceNeeded(path));
  return info.HasPackage() ? 0 : 1;
}
