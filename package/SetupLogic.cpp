#include "package/SetupLogic.h"

#include <algorithm>

#include "internet/InetHTTPLogic.h"
#include "package/PackX.h"
#include "system/Utils.h"

std::string ThreadToken(std::uint32_t threadId) { return "_" + std::to_string(threadId); }

std::string SizeText(double bytes) {
  if (!(bytes > 0)) return "0.000";  // negative (and NaN) count as nothing
  double mb = bytes / 1048576.0;
  if (mb > 10) return FloatToFixed(mb, 1);
  if (mb >= 1) return FloatToFixed(mb, 2);
  return FloatToFixed(mb, 3);
}

std::string RemoveSwitch(const std::string& commandLine, const std::string& switchName) {
  if (switchName.empty()) return commandLine;
  std::size_t at = commandLine.find(switchName);
  if (at == std::string::npos) return commandLine;
  // The switch's own leading "/" goes first; the cut then runs up to the next "/".
  std::size_t end = at + 1;
  while (end < commandLine.size() && commandLine[end] != '/') ++end;
  return commandLine.substr(0, at) + commandLine.substr(end);
}

std::string EngineName(const std::string& engineEntry) {
  std::size_t star = engineEntry.find('*');
  return star == std::string::npos ? engineEntry : Trim(engineEntry.substr(0, star));
}

std::string EngineCommandLine(const std::string& folder, const std::string& engineEntry,
                              const std::string& arguments, const std::string& token,
                              const std::string& stubPath, bool autoUpdateProg) {
  std::string name = engineEntry;
  std::string args = arguments;
  std::size_t star = engineEntry.find('*');
  if (star != std::string::npos) {
    name = Trim(engineEntry.substr(0, star));
    args = Trim(arguments + " " + Trim(engineEntry.substr(star + 1)));
  }
  std::string line = SetTrailingBackslash(folder, true) + name;
  if (!args.empty()) line += " " + args;
  line += " /TH_ID=" + token;
  if (line.find("/OriginExe=") == std::string::npos) line += " /OriginExe=\"" + stubPath + "\"";
  if (autoUpdateProg) line += " /AutoUpdateProg";
  line = RemoveSwitch(line, "/SpanCdLvl=");
  line = RemoveSwitch(line, "/SpanDiskFName1=");
  return line;
}

std::string SpaceQuestionText(const SpaceTexts& texts, const std::string& folder, bool showTempNote,
                              double needed, double free) {
  std::string text;
  if (showTempNote) text = texts.note;
  if (needed >= free) text = texts.limited;
  if (text.empty()) return text;
  text += texts.required + texts.available + texts.proceed;
  std::string drive = folder.empty() ? std::string() : std::string(1, UpperAscii(folder[0])) + ":";
  text = ReplaceText(text, "<DRIVE>", drive);
  text = ReplaceText(text, "<SPACE_REQ>", SizeText(needed));
  text = ReplaceText(text, "<SPACE_AVAIL>", SizeText(free));
  return text;
}

std::string WebConfirmText(const std::string& question, const std::string& webSize) {
  std::int64_t bytes = 0;
  if (!TryParseInt64(Trim(webSize), bytes)) bytes = 0;
  return ReplaceText(question, "<SIZE>", SizeText(static_cast<double>(bytes)));
}

std::uint64_t WebDownloadLimit(const std::string& webSize, std::uint64_t largestSetupFile) {
  std::int64_t bytes = 0;
  if (!TryParseInt64(Trim(webSize), bytes) || bytes <= 0 || bytes > (INT64_MAX - 1048576) / 2)
    return largestSetupFile;
  return std::min(static_cast<std::uint64_t>(bytes) * 2 + 1048576, largestSetupFile);
}

std::string WebAgentImage(std::string image, const std::string& signerRecord) {
  // Only the low half counts: the copy is made from a stub, never from a 4 GB package.
  const std::uint64_t end = PackEndFromImage(image) & 0xFFFFFFFFu;
  if (end > 0 && end <= image.size()) image.resize(static_cast<std::size_t>(end));
  if (image.size() > 5) image[image.size() - 5] = 1;
  if (!signerRecord.empty() && image.size() >= pack::kPackEndPosLow + 4 && image.size() <= 0xFFFFFFFFu) {
    const std::uint64_t packEnd = image.size();
    for (int i = 0; i < 4; ++i) {
      image[pack::kPackEndPosHigh + i] = static_cast<char>((packEnd >> (32 + 8 * i)) & 0xFF);
      image[pack::kPackEndPosLow + i] = static_cast<char>((packEnd >> (8 * i)) & 0xFF);
    }
    image += signerRecord;
  }
  return image;
}
