#include "tools/zpack/ZPack.h"

#include <sys/stat.h>
#include <zlib.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "package/PackX.h"
#include "package/UnPackLogic.h"
#include "system/Utils.h"
#include "system/ZSub.h"

namespace fs = std::filesystem;

namespace zpack {
namespace {

// Separators for the lists zpack writes; "*" is left out because it marks the engine.
constexpr char kListSeparators[] = "|^!~@#$&";
// A block inflates to at most this much when read back (the builder writes 5 MB blocks).
constexpr std::size_t kMaxInflated = 256u * 1024 * 1024;

std::string Lower(std::string text) {
  for (char& ch : text)
    if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
  return text;
}

bool ParseBool(const std::string& value, bool& result) {
  std::string v = Lower(Trim(value));
  if (v == "1" || v == "yes" || v == "true" || v == "on") return result = true, true;
  if (v == "0" || v == "no" || v == "false" || v == "off") return result = false, true;
  return false;
}

bool ParseSize(const std::string& value, std::uint64_t& result) {
  std::string v = Trim(value);
  std::uint64_t unit = 1;
  if (!v.empty()) {
    char last = char(std::tolower((unsigned char)v.back()));
    if (last == 'k') unit = 1024;
    if (last == 'm') unit = 1024 * 1024;
    if (last == 'g') unit = 1024ull * 1024 * 1024;
    if (unit != 1) v.pop_back();
  }
  std::int64_t number = 0;
  if (v.empty() || !TryParseInt64(v, number) || number < 0) return false;
  // A size that does not fit is refused, not wrapped (to 0, which means "no limit").
  if (std::uint64_t(number) > UINT64_MAX / unit) return false;
  result = std::uint64_t(number) * unit;
  return true;
}

// "SRC => PATH" or "SRC".
void SplitMapping(const std::string& value, std::string& source, std::string& target) {
  std::size_t arrow = value.find("=>");
  source = Trim(value.substr(0, arrow));
  target = arrow == std::string::npos ? "" : Trim(value.substr(arrow + 2));
}

std::string WithBase(const std::string& path, const std::string& baseDir) {
  if (path.empty() || baseDir.empty() || fs::path(path).is_absolute()) return path;
  return (fs::path(baseDir) / path).string();
}

std::string PackagePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  while (!path.empty() && path[0] == '\\') path.erase(0, 1);
  return path;
}

// A self-delimited list of items with a separator none of them contains.
bool MakeList(const std::vector<std::string>& items, std::string& list) {
  for (const char* sep = kListSeparators; *sep; ++sep) {
    bool free = std::none_of(items.begin(), items.end(),
                             [&](const std::string& item) { return item.find(*sep) != std::string::npos; });
    if (!free) continue;
    list.assign(1, *sep);
    for (const auto& item : items) list += item + *sep;
    return true;
  }
  return false;
}

// The build's random numbers: from the device, or from the seed (seed, or
// SOURCE_DATE_EPOCH) so that the same inputs give the same bytes.
std::mt19937& Random(std::int64_t seed = -1) {
  static std::mt19937 generator{std::random_device{}()};
  if (seed >= 0) generator.seed(std::uint32_t(seed ^ (seed >> 32)));
  return generator;
}

std::string RandomToken() {
  static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
  std::mt19937& generator = Random();
  std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
  std::string token;
  for (int i = 0; i < 16; ++i) token += alphabet[pick(generator)];
  return token;
}

bool ReadWholeFile(const std::string& name, std::string& content) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content = buffer.str();
  return !in.bad();
}

// A UTF-8 name in Windows code page codePage, as the stub's ANSI calls take it: false when
// the name is no UTF-8 or the code page lacks one of its characters.
bool ToCodePage(const std::string& utf8, int codePage, std::string& result) {
  result.clear();
  if (std::all_of(utf8.begin(), utf8.end(), [](char ch) { return (unsigned char)ch < 0x80; }))
    return result = utf8, true;
  if (codePage <= 0) return false;
#ifdef _WIN32
  const int wide =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  if (wide <= 0) return false;
  std::vector<wchar_t> text(std::size_t(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), text.data(), wide);
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(UINT(codePage), WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0,
                                    nullptr, &lost);
  if (n <= 0 || lost) return false;
  result.assign(std::size_t(n), '\0');
  WideCharToMultiByte(UINT(codePage), WC_NO_BEST_FIT_CHARS, text.data(), wide, &result[0], n, nullptr, &lost);
  return !lost;
#else
  iconv_t convert = iconv_open(("CP" + std::to_string(codePage)).c_str(), "UTF-8");
  if (convert == iconv_t(-1)) return false;
  std::string in = utf8;
  std::string out(in.size() * 4 + 4, '\0');
  char* from = &in[0];
  char* to = &out[0];
  std::size_t fromLeft = in.size(), toLeft = out.size();
  const bool ok = iconv(convert, &from, &fromLeft, &to, &toLeft) != std::size_t(-1) && fromLeft == 0;
  iconv_close(convert);
  if (ok) result.assign(out.data(), out.size() - toLeft);
  return ok;
#endif
}

bool TokenOfPackage(const std::string& file, std::string& token) {
  TGFileInfo info(file);
  return info.HasPackage() && TryUnscrambleToken(info.StubToken(false), token) && !token.empty();
}

std::int64_t ModificationTime(const std::string& name) {
#ifdef _WIN32
  struct _stat64 st;
  if (_stat64(name.c_str(), &st) != 0) return 0;
#else
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return 0;
#endif
  return std::int64_t(st.st_mtime);
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = char(value >> (8 * i));
}

std::string U32Bytes(std::uint32_t value) {
  std::string bytes(4, '\0');
  PutU32(bytes, 0, value);
  return bytes;
}

bool Inflate(const std::string& input, std::string& output, std::string& error) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return error = "zlib: cannot initialise", false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = uInt(input.size());
  output.clear();
  char buffer[65536];
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) {
      error = std::string("zlib: ") + (stream.msg ? stream.msg : zError(result));
      if (result == Z_BUF_ERROR) error = "zlib: truncated stream";
      inflateEnd(&stream);
      return false;
    }
    output.append(buffer, sizeof buffer - stream.avail_out);
    if (output.size() > kMaxInflated) {
      inflateEnd(&stream);
      return error = "block inflates beyond 256 MB", false;
    }
  }
  inflateEnd(&stream);
  return true;
}

// ---- Building ----

struct Entry {
  Input input;
  std::uint64_t size = 0;
  std::int32_t date = 0;
};

// One output file in the making, written under a temporary name.
struct Volume {
  std::string finalName;
  std::string tempName;
  std::FILE* file = nullptr;
  std::uint64_t size = 0;
  bool hasData = false;
  bool pe = false;  // PackEndPos is written into this volume's stub
  std::set<std::string> paths;
};

class Builder {
public:
 // otherOutput: a file the same run writes besides this one (the web stub of a setup
 // file); it may be neither an input nor this output.
 Builder(const Options& options, std::string& error, std::string otherOutput = "")
     : o_(options), error_(error), otherOutput_(std::move(otherOutput)) {}

 ~Builder() {
   for (auto& v : volumes_) {
     if (v.file) std::fclose(v.file);
     if (!done_) std::remove(v.tempName.c_str());
   }
 }

 bool Run(std::vector<std::string>& written, std::vector<std::string>* removed = nullptr) {
   return Make() && Commit(written, removed);
 }

 // Writes every file under its temporary name.
 bool Make() { return Prepare() && WriteAll(); }
 // The installation file as written so far (its first file, under the temporary name).
 std::string FirstTemp() const { return volumes_.empty() ? "" : volumes_.front().tempName; }

 // Gives the files their names, then removes volumes of an earlier build of the same name
 // that this one no longer has: left beside the new file they would be read as its own.
 bool Commit(std::vector<std::string>& written, std::vector<std::string>* removed) {
   for (auto& v : volumes_) {
     std::error_code ec;
     fs::rename(v.tempName, v.finalName, ec);
     if (ec) return Fail("cannot rename " + v.tempName + " to " + v.finalName + ": " + ec.message());
     written.push_back(v.finalName);
   }
   done_ = true;
   auto removeSeries = [&](const std::string& first, int from) {
     for (int j = from; j < 10000; ++j) {
       const std::string name = j == 1 ? first : VolumeName(first, j);
       if (!IsPackageFile(name)) break;
       std::error_code ec;
       if (fs::remove(name, ec) && removed) removed->push_back(name);
     }
   };
   removeSeries(firstVolume_, int(volumes_.size() - firstIndex_) + 1);
   if (!o_.spanCd) removeSeries(o_.output + ".001", 1);
   return true;
 }

private:
 static bool IsPackageFile(const std::string& name) {
   std::error_code ec;
   if (!fs::is_regular_file(name, ec)) return false;
   PackTrailer t{};
   ReadTrailer(name, t);
   return t.PackMagic == pack::kPackMagic;
 }

 // Refuses to write over a file the build reads: compared as files, so another spelling
 // of the same path (or a link to it) is caught too.
 bool OutputsAreNotInputs(const std::vector<Input>& inputs) {
   std::vector<std::string> outputs = {o_.output};
   if (o_.spanCd) outputs.push_back(o_.output + ".001");
   if (!otherOutput_.empty()) outputs.push_back(otherOutput_);
   std::vector<std::pair<std::string, std::string>> read = {{o_.stub, "the stub"}};
   for (const auto& in : inputs) read.emplace_back(in.source, "the packed file");
   if (!o_.languageFile.empty()) read.emplace_back(o_.languageFile, "the language file");
   if (!o_.webSetup.empty()) read.emplace_back(o_.webSetup, "the web setup file");
   if (!o_.tokenFrom.empty()) read.emplace_back(o_.tokenFrom, "the token-from file");
   std::error_code ec;
   if (!otherOutput_.empty() && fs::weakly_canonical(otherOutput_, ec) == fs::weakly_canonical(o_.output, ec))
     return Fail("web-stub and output name the same file " + o_.output);
   for (const auto& out : outputs) {
     if (!fs::exists(out, ec)) continue;
     for (const auto& [source, what] : read)
       if (fs::equivalent(out, source, ec))
         return Fail("the output " + out + " is " + what + " " + source + "; it would be overwritten");
   }
   return true;
 }

  bool Fail(const std::string& text) {
    error_ = text;
    return false;
  }

  bool Prepare() {
    if (o_.stub.empty()) return Fail("no stub given (stub = FILE)");
    if (o_.output.empty()) return Fail("no output given (output = FILE)");
    if (!ReadWholeFile(o_.stub, stub_)) return Fail("cannot read the stub " + o_.stub);
    if (stub_.size() < 4 || stub_.size() > 0x7FFFFFFF) return Fail("the stub " + o_.stub + " is not an executable");
    if (TGFileInfo(o_.stub).HasPackage()) return Fail("the stub " + o_.stub + " already carries a package");
    const std::string kind = StubKind(stub_);
    if (kind.compare(0, 2, "PE") != 0)
      return Fail("the stub " + o_.stub + " is not a Windows program (" + kind + ")");
    if (o_.blockSize == 0 || o_.blockSize > pack::kMaxBlockContent)
      return Fail("block-size must be 1.." + std::to_string(pack::kMaxBlockContent));
    if (o_.level < 0 || o_.level > 9) return Fail("level must be 0..9");

    const auto* bytes = reinterpret_cast<const unsigned char*>(stub_.data());
    bool peAt256 = stub_.size() >= 512 && stub_.compare(0, 2, "MZ") == 0 && stub_.compare(pack::kPeHeaderOffset, 2, "PE") == 0;
    bool slotFree = peAt256 && std::all_of(bytes + pack::kPackEndPosHigh, bytes + pack::kPeHeaderOffset,
                                           [](unsigned char b) { return b == 0; });
    if (o_.packEnd == Options::PackEnd::On && !slotFree)
      return Fail("pack-end = on needs a stub with its PE header at 256 and bytes 248..255 free (see pefix)");
    writePackEnd_ = o_.packEnd != Options::PackEnd::Off && slotFree;

    token_ = o_.token;
    if (!o_.tokenFrom.empty()) {
      std::string earlier;
      if (!TokenOfPackage(o_.tokenFrom, earlier))
        return Fail("token-from: " + o_.tokenFrom + " carries no package token");
      if (!token_.empty() && token_ != earlier)
        return Fail("token differs from the token of " + o_.tokenFrom);
      token_ = earlier;
    }
    if (o_.seed >= 0) Random(o_.seed);
    if (token_.empty()) token_ = RandomToken();
    if (token_.size() > 200) return Fail("the token is longer than 200 bytes");

    // Inputs: the engine first.
    std::vector<Input> inputs = o_.inputs;
    for (const auto& [folder, prefix] : o_.folders)
      if (!AddFolder(folder, prefix, inputs)) return false;
    std::stable_partition(inputs.begin(), inputs.end(), [](const Input& in) { return in.engine; });
    if (std::count_if(inputs.begin(), inputs.end(), [](const Input& in) { return in.engine; }) > 1)
      return Fail("more than one engine given");
    if (o_.webInstall && !inputs.empty()) return Fail("a web-install package carries no files");
    if (!inputs.empty() && !inputs[0].engine) return Fail("no engine given (engine = FILE)");
    if (inputs.empty() && !o_.webInstall && !o_.thisIsAgent) return Fail("nothing to pack: give an engine and files");
    if (!OutputsAreNotInputs(inputs)) return false;
    if (o_.makeAgent && (Trim(o_.agentName).empty() || o_.agentName == ".exe"))
      return Fail("make-agent needs an agent name (agent = Update.exe)");
    std::string why;
    if (o_.makeAgent && !IsSafePackagePath(ExtractFileName(o_.agentName), &why))
      return Fail("the stub would not write the agent " + o_.agentName + ": " + why);

    std::set<std::string> seen;
    for (auto& input : inputs) {
      Entry entry;
      entry.input = input;
      entry.input.path = PackagePath(input.path.empty() ? fs::path(input.source).filename().string() : input.path);
      if (entry.input.path.empty()) return Fail("empty package path for " + input.source);
      // The stub creates files through the ANSI calls: a name outside ASCII is stored in
      // the code page of the Windows the package is for.
      std::string ansi;
      if (!ToCodePage(entry.input.path, o_.codePage, ansi))
        return Fail("the package path " + entry.input.path +
                    (o_.codePage <= 0 ? " is not ASCII (codepage = ascii)"
                                      : " is no UTF-8, or code page " + std::to_string(o_.codePage) +
                                            " lacks one of its characters (codepage = N names another)"));
      entry.input.path = ansi;
      if (entry.input.path.find('*') != std::string::npos || entry.input.path.find('\0') != std::string::npos)
        return Fail("the package path " + entry.input.path + " contains \"*\"");
      // The stub writes only plain relative paths (no "..", drive, stream, device name ...).
      std::string why;
      if (!IsSafePackagePath(entry.input.path, &why))
        return Fail("the stub would not write the package path " + entry.input.path + ": " + why);
      std::error_code ec;
      if (!fs::is_regular_file(input.source, ec)) return Fail("no such file: " + input.source);
      entry.size = fs::file_size(input.source, ec);
      if (ec) return Fail("cannot read " + input.source + ": " + ec.message());
      if (input.engine && entry.size == 0)
        return Fail("engine: " + input.source + " is empty; the stub would start nothing");
      std::int64_t modified = ModificationTime(input.source);
      if (o_.sourceDateEpoch >= 0)
        modified = std::min(modified, o_.sourceDateEpoch);  // files made by the build itself
      entry.date = o_.fixedDate >= 0 ? std::int32_t(std::uint32_t(o_.fixedDate)) : DosDateTime(modified);
      if (!seen.insert(Lower(entry.input.path)).second) return Fail("two files are packed as " + entry.input.path);
      entries_.push_back(entry);
    }
    return MakeHeaders();
  }

  bool AddFolder(const std::string& folder, const std::string& prefix, std::vector<Input>& inputs) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return Fail("no such folder: " + folder);
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
      if (it->is_regular_file(ec)) files.push_back(it->path());
    if (ec) return Fail("cannot list " + folder + ": " + ec.message());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      Input input;
      input.source = file.string();
      std::string relative = fs::relative(file, folder, ec).generic_string();
      input.path = prefix.empty() ? relative : prefix + "\\" + relative;
      inputs.push_back(input);
    }
    return true;
  }

  bool MakeHeaders() {
    // Language table: entries joined by 0x02, each a list with its own separator.
    if (!o_.languageFile.empty()) {
      if (!ReadWholeFile(o_.languageFile, langTable_)) return Fail("cannot read " + o_.languageFile);
    } else {
      langTable_ = pack::kEmptyLangTable;
      for (const auto& entry : o_.languages) {
        if (entry.size() < 2 || entry.front() != entry.back() || entry.find(pack::kLangTableSeparator) != std::string::npos)
          return Fail("a language entry must be a list that begins and ends with its separator: " + entry);
        langTable_ += entry + pack::kLangTableSeparator;
      }
    }
    if (o_.seed >= 0) SeedScrambling(std::uint32_t(o_.seed ^ (o_.seed >> 32)));
    std::string scrambled = ScrambleToken(token_);
    std::vector<std::string> stubItems = {o_.updateUrl, o_.infoName, o_.agentName, scrambled,
                                          o_.hidden ? "1" : "0"};
    if (o_.largestSetup > 0) stubItems.push_back(std::to_string(o_.largestSetup));
    if (!MakeList(stubItems, stubInfo_)) return Fail("StubInfo items use every separator");

    std::string webToken = o_.webToken, webFile = o_.webFile, webSize = o_.webSize;
    if (!o_.webSetup.empty()) {
      TGFileInfo setup(o_.webSetup);
      std::string setupToken;
      if (!setup.HasPackage() || !TryUnscrambleToken(setup.WebToken(false), setupToken))
        return Fail("the web setup file " + o_.webSetup + " carries no web token (pack it with web-token)");
      if (!webToken.empty() && webToken != setupToken) return Fail("web-token differs from the web setup file's token");
      webToken = setupToken;
      if (webFile.empty()) webFile = fs::path(o_.webSetup).filename().string();
      std::error_code ec;
      if (webSize.empty()) webSize = std::to_string(fs::file_size(o_.webSetup, ec));
    }
    if (webToken.size() > 200) return Fail("the web token is longer than 200 bytes");
    if (o_.webInstall && (o_.webUrl.empty() || webFile.empty()))
      return Fail("a web-install package needs web-url and web-file (or web-setup)");
    if (o_.webInstall && webToken.empty()) return Fail("a web-install package needs web-token (or web-setup)");
    std::string why;
    if (!webFile.empty() && !IsSafeWebFileName(webFile, &why))
      return Fail("web-file \"" + webFile + "\" would be refused by the stub: " + why);
    if (o_.webInstall || !webToken.empty()) {
      headerCount_ = pack::kHeaderCountWeb;
      if (!MakeList({o_.webUrl, webFile, o_.webNoLocal ? "1" : "0",
                     webToken.empty() ? "" : ScrambleToken(webToken), webSize},
                    webInfo_))
        return Fail("WebInfo items use every separator");
    }
    headers_.clear();
    for (const std::string* text : {&langTable_, &stubInfo_, &webInfo_}) {
      if (text == &webInfo_ && headerCount_ < pack::kHeaderCountWeb) break;
      headers_ += U32Bytes(std::uint32_t(text->size())) + *text;
    }
    return true;
  }

  void BaseTrailer(PackTrailer& t) const {
    t = PackTrailer{};
    t.Reserved0 = 1;
    t.HeaderCount = headerCount_;
    t.PackMagic = pack::kPackMagic;
    t.IsWebInstall = o_.webInstall;
    t.AskBeforeDownload = o_.askBeforeDownload;
    t.MakeAgent = o_.makeAgent;
    t.ThisIsAgent = o_.thisIsAgent;
    t.TrailerSize = pack::kTrailerSize;
    t.PackFlags = std::uint8_t((o_.showTempNote ? pack::kFlagShowTempNote : 0) |
                               (o_.activityBar ? pack::kFlagActivityBar : 0) | (o_.agentLog ? pack::kFlagAgentLog : 0));
    t.FilesCount = std::uint32_t(entries_.size());
    // Each file takes whole clusters; the agent copy is one more file.
    std::vector<std::uint64_t> sizes;
    for (const auto& e : entries_) sizes.push_back(e.size);
    if (o_.makeAgent) sizes.push_back(stub_.size() + headers_.size() + pack::kTrailerSize);
    for (int i = 0; i < pack::kSpaceSlots; ++i) {
      std::uint64_t cluster = pack::SpaceSlotCluster(i), total = 0;
      for (auto size : sizes) total += (size + cluster - 1) / cluster * cluster;
      if (o_.spaceNeeded) total = o_.spaceNeeded;
      t.SpaceNeeded[i] = std::uint32_t(std::min<std::uint64_t>(total, UINT32_MAX));
    }
  }

  bool Open(const std::string& finalName, bool withStub) {
    Volume v;
    v.finalName = finalName;
    v.tempName = finalName + ".zpack-tmp";
    std::error_code ec;
    const fs::path folder = fs::path(finalName).parent_path();
    if (!folder.empty()) fs::create_directories(folder, ec);
    v.file = std::fopen(v.tempName.c_str(), "wb");
    if (!v.file) return Fail("cannot create " + v.tempName + ": " + std::strerror(errno));
    volumes_.push_back(v);
    if (withStub) {
      volumes_.back().pe = writePackEnd_;
      if (!Write(stub_) || !Write(headers_)) return false;
    }
    return true;
  }

  bool Write(const std::string& bytes) {
    Volume& v = volumes_.back();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), v.file) != bytes.size())
      return Fail("cannot write " + v.tempName + ": " + std::strerror(errno));
    v.size += bytes.size();
    return true;
  }

  // Appends the trailer, PackEndPos and the checksum, and closes the volume.
  bool Finish(PackTrailer t, bool first, bool nextFollows) {
    Volume& v = volumes_.back();
    t.DataStart = first ? std::uint32_t(stub_.size()) : 0;
    if (!first) t.FilesCount = std::uint32_t(v.paths.size());
    if (nextFollows) t.PackFlags |= pack::kFlagNextVolume;
    std::string trailer(reinterpret_cast<const char*>(&t), sizeof t);
    if (!Write(trailer)) return false;
    if (v.size > UINT32_MAX && first) return Fail(v.finalName + " is larger than 4 GB");
    if (v.pe) {
      std::uint32_t end[2] = {std::uint32_t(v.size >> 32), std::uint32_t(v.size)};
      if (std::fseek(v.file, long(pack::kPackEndPosHigh), SEEK_SET) != 0 || std::fwrite(end, 1, 8, v.file) != 8)
        return Fail("cannot write " + v.tempName);
    }
    if (std::fclose(v.file) != 0) {
      v.file = nullptr;
      return Fail("cannot write " + v.tempName + ": " + std::strerror(errno));
    }
    v.file = nullptr;
    std::uint32_t sum = o_.checksum ? PackCheckSum(v.tempName, pack::kTrailerSize) : pack::kCheckSumOff;
    std::fstream patch(v.tempName, std::ios::binary | std::ios::in | std::ios::out);
    patch.seekp(std::streamoff(v.size - pack::kTrailerSize + offsetof(PackTrailer, CheckSum)));
    std::string bytes = U32Bytes(sum);
    patch.write(bytes.data(), 4);
    if (!patch.flush()) return Fail("cannot write " + v.tempName);
    return true;
  }

  bool WriteBlock(const std::string& block, const std::string& path) {
    if (o_.volumeSize > 0 && volumes_.back().hasData &&
        volumes_.back().size + block.size() + pack::kTrailerSize > o_.volumeSize) {
      PackTrailer t;
      BaseTrailer(t);
      if (!Finish(t, volumes_.size() == firstIndex_ + 1, true)) return false;
      if (!Open(VolumeName(firstVolume_, int(volumes_.size() - firstIndex_) + 1), false)) return false;
    }
    volumes_.back().hasData = true;
    volumes_.back().paths.insert(Lower(path));
    return Write(block);
  }

  bool WriteEntry(const Entry& e) {
    std::string name = e.input.path;
    if (e.input.engine) name += pack::kEngineMark + e.input.engineArgs;
    std::string namePart;
    if (!MakeList({name, std::to_string(e.date)}, namePart)) return Fail("no separator left for " + name);
    std::ifstream in(e.input.source, std::ios::binary);
    if (!in) return Fail("cannot read " + e.input.source);
    // No larger than the file: a package of many small files would clear a whole block's
    // buffer for each of them.
    std::string chunk(std::size_t(std::min<std::uint64_t>(e.size, o_.blockSize)), '\0');
    std::uint64_t left = e.size;
    do {
      std::size_t want = std::size_t(std::min<std::uint64_t>(left, o_.blockSize));
      if (!in.read(&chunk[0], std::streamsize(want))) return Fail("cannot read " + e.input.source + " (changed while packing?)");
      left -= want;
      std::string payload = namePart + '\0' + chunk.substr(0, want);
      std::string block;
      if (o_.compress) {
        uLongf packedSize = compressBound(uLong(payload.size()));
        std::string packed(packedSize, '\0');
        if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(payload.data()),
                      uLong(payload.size()), o_.level) != Z_OK)
          return Fail("zlib failed on " + e.input.source);
        if (packedSize < payload.size()) block = U32Bytes(std::uint32_t(packedSize)) + packed.substr(0, packedSize);
      }
      if (block.empty()) block = U32Bytes(std::uint32_t(-std::int32_t(payload.size()))) + payload;
      if (!WriteBlock(block, e.input.path)) return false;
    } while (left > 0);
    return true;
  }

  bool WriteAll() {
    PackTrailer t;
    BaseTrailer(t);
    if (o_.spanCd) {
      // The launcher: the stub and the header texts; the package follows in .001, .002, ...
      if (!Open(o_.output, true)) return false;
      PackTrailer launcher = t;
      launcher.PackFlags |= pack::kFlagSpanCdLauncher;
      if (!Finish(launcher, true, false)) return false;
      firstVolume_ = o_.output + ".001";
    } else {
      firstVolume_ = o_.output;
    }
    firstIndex_ = volumes_.size();
    if (!Open(firstVolume_, true)) return false;
    for (const auto& e : entries_)
      if (!WriteEntry(e)) return false;
    return Finish(t, volumes_.size() == firstIndex_ + 1, false);
  }

  const Options& o_;
  std::string& error_;
  std::string otherOutput_;
  std::string stub_, token_, langTable_, stubInfo_, webInfo_, headers_, firstVolume_;
  std::uint8_t headerCount_ = pack::kHeaderCountPlain;
  bool writePackEnd_ = false;
  std::size_t firstIndex_ = 0;  // the package's first volume (after a span launcher)
  bool done_ = false;
  std::vector<Entry> entries_;
  std::vector<Volume> volumes_;
};

}  // namespace

std::string JsonText(const std::string& text) {
  std::string json = "\"";
  for (unsigned char ch : text) {
    if (ch == '"' || ch == '\\') {
      json += '\\';
      json += char(ch);
    } else if (ch < 0x20) {
      static const char hex[] = "0123456789abcdef";
      json += "\\u00";
      json += hex[ch >> 4];
      json += hex[ch & 15];
    } else {
      json += char(ch);
    }
  }
  return json + "\"";
}

std::int32_t DosDateTime(std::int64_t unixTime) {
  std::time_t time = std::time_t(unixTime);
  std::tm parts{};
#ifdef _WIN32
  if (localtime_s(&parts, &time) != 0) return 0x00210000;
#else
  if (!localtime_r(&time, &parts)) return 0x00210000;
#endif
  if (parts.tm_year < 80) return 0x00210000;  // 1 January 1980
  std::uint32_t date = std::uint32_t((parts.tm_year - 80) << 9 | (parts.tm_mon + 1) << 5 | parts.tm_mday);
  std::uint32_t timeOfDay = std::uint32_t(parts.tm_hour << 11 | parts.tm_min << 5 | parts.tm_sec / 2);
  return std::int32_t(date << 16 | timeOfDay);
}

std::string VolumeName(const std::string& firstVolume, int j) {
  std::string base = firstVolume;
  if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".001") == 0) base.resize(base.size() - 4);
  return base + "." + IntToZeroPadded(j, 3);
}

bool ApplySetting(Options& o, const std::string& rawKey, const std::string& rawValue, std::string& error,
                  const std::string& baseDir) {
  const std::string key = Lower(Trim(rawKey));
  const std::string value = Trim(rawValue);
  auto flag = [&](bool& target) {
    if (!ParseBool(value, target)) error = key + ": expected 1 or 0, not \"" + value + "\"";
    return error.empty();
  };
  auto size = [&](std::uint64_t& target) {
    if (!ParseSize(value, target)) error = key + ": expected a size in bytes, not \"" + value + "\"";
    return error.empty();
  };
  error.clear();
  std::string source, target;
  if (key == "stub") o.stub = WithBase(value, baseDir);
  else if (key == "output") o.output = WithBase(value, baseDir);
  else if (key == "token") o.token = value;
  else if (key == "token-from")
    o.tokenFrom = WithBase(value, baseDir);
  else if (key == "codepage") {
    std::int64_t page = 0;
    if (Lower(value) == "ascii")
      o.codePage = 0;
    else if (TryParseInt64(value, page) && page > 0 && page < 65000)
      o.codePage = int(page);
    else
      return error = "codepage: expected a Windows code page number (1252 ...) or ascii", false;
  } else if (key == "seed") {
    std::int64_t seed = -1;
    if (!TryParseInt64(value, seed) || seed < 0) return error = "seed: expected a number 0 or above", false;
    o.seed = seed;
  } else if (key == "update-url")
    o.updateUrl = value;
  else if (key == "info") o.infoName = value;
  else if (key == "agent") o.agentName = value;
  else if (key == "hidden") return flag(o.hidden);
  else if (key == "largest-setup")
    return size(o.largestSetup);
  else if (key == "language") o.languages.push_back(value);
  else if (key == "language-file") o.languageFile = WithBase(value, baseDir);
  else if (key == "show-temp-note") return flag(o.showTempNote);
  else if (key == "activity-bar") return flag(o.activityBar);
  else if (key == "agent-log") return flag(o.agentLog);
  else if (key == "span-cd") return flag(o.spanCd);
  else if (key == "make-agent") return flag(o.makeAgent);
  else if (key == "this-is-agent") return flag(o.thisIsAgent);
  else if (key == "web-install") return flag(o.webInstall);
  else if (key == "ask-before-download") return flag(o.askBeforeDownload);
  else if (key == "web-no-local") return flag(o.webNoLocal);
  else if (key == "web-url") o.webUrl = value;
  else if (key == "web-file") o.webFile = value;
  else if (key == "web-token") o.webToken = value;
  else if (key == "web-size") o.webSize = value;
  else if (key == "web-setup") o.webSetup = WithBase(value, baseDir);
  else if (key == "web-stub") o.webStub = WithBase(value, baseDir);
  else if (key == "compress") {
    if (value == "zlib") o.compress = true;
    else if (value == "store") o.compress = false;
    else return error = "compress: expected zlib or store", false;
  } else if (key == "level") {
    std::int64_t level = -1;
    if (!TryParseInt64(value, level) || level < 0 || level > 9) return error = "level: expected 0..9", false;
    o.level = int(level);
  } else if (key == "volume-size") return size(o.volumeSize);
  else if (key == "block-size") return size(o.blockSize);
  else if (key == "space-needed") {
    // The trailer holds 32 bits: a larger figure would be cut, not asked for.
    if (!size(o.spaceNeeded)) return false;
    if (o.spaceNeeded > UINT32_MAX)
      return error = "space-needed: at most 4294967295 bytes, not \"" + value + "\"", false;
  } else if (key == "checksum") {
    bool on = true;
    if (!flag(on)) return false;
    o.checksum = on;
  } else if (key == "pack-end") {
    if (value == "auto") o.packEnd = Options::PackEnd::Auto;
    else if (value == "on" || value == "1") o.packEnd = Options::PackEnd::On;
    else if (value == "off" || value == "0") o.packEnd = Options::PackEnd::Off;
    else return error = "pack-end: expected auto, on or off", false;
  } else if (key == "date") {
    std::int64_t date = 0;
    if (value == "file") o.fixedDate = -1;
    else if (TryParseInt64(value, date) && date >= 0 && date <= UINT32_MAX)
      o.fixedDate = date;
    else
      return error = "date: expected file or a DOS date-time number 0..4294967295, not \"" + value + "\"",
             false;
  } else if (key == "engine" || key == "file") {
    SplitMapping(value, source, target);
    if (source.empty()) return error = key + ": no file given", false;
    Input input;
    input.source = WithBase(source, baseDir);
    input.path = target;
    input.engine = key == "engine";
    o.inputs.push_back(input);
  } else if (key == "engine-args") {
    auto engine = std::find_if(o.inputs.begin(), o.inputs.end(), [](const Input& in) { return in.engine; });
    if (engine == o.inputs.end()) return error = "engine-args: give engine first", false;
    engine->engineArgs = value;
  } else if (key == "dir") {
    SplitMapping(value, source, target);
    if (source.empty()) return error = "dir: no folder given", false;
    o.folders.emplace_back(WithBase(source, baseDir), PackagePath(target));
  } else {
    return error = "unknown setting \"" + rawKey + "\"", false;
  }
  return true;
}

bool IsRepeatableKey(const std::string& key) {
  const std::string k = Lower(Trim(key));
  return k == "file" || k == "dir" || k == "language";
}

std::string WithoutByteOrderMark(const std::string& text) {
  return text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
}

bool ParseDescription(const std::string& textIn, Options& options, std::string& error,
                      const std::string& baseDir) {
  std::istringstream lines(WithoutByteOrderMark(textIn));
  std::string line;
  std::map<std::string, int> seen;  // a single setting given twice is a mistake, not "the last wins"
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    std::size_t equals = trimmed.find('=');
    if (equals == std::string::npos) {
      error = "line " + std::to_string(number) + ": expected key = value";
      return false;
    }
    const std::string key = Lower(Trim(trimmed.substr(0, equals)));
    if (!IsRepeatableKey(key) && !seen.emplace(key, number).second) {
      error = "line " + std::to_string(number) + ": " + key + " is already set on line " +
              std::to_string(seen[key]);
      return false;
    }
    std::string why;
    if (!ApplySetting(options, trimmed.substr(0, equals), trimmed.substr(equals + 1), why, baseDir)) {
      error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
  }
  return true;
}

bool Build(const Options& options, std::vector<std::string>& written, std::string& error,
           std::vector<std::string>* removed) {
  written.clear();
  if (options.webStub.empty()) {
    Builder builder(options, error);
    return builder.Run(written, removed);
  }
  if (options.webInstall) return error = "web-stub is written beside a setup file, not a web-install stub", false;
  if (options.webUrl.empty()) return error = "web-stub needs web-url (where the setup file will lie)", false;
  // The setup file first, with the token its web stub will check ...
  Options setup = options;
  setup.webStub.clear();
  setup.askBeforeDownload = setup.webNoLocal = false;
  if (setup.seed >= 0) Random(setup.seed + 1);
  if (setup.webToken.empty()) setup.webToken = RandomToken();
  Builder setupBuilder(setup, error, options.webStub);
  if (!setupBuilder.Make()) return false;
  // ... then the stub, which takes the file's size and token from it. Both stay under
  // their temporary names until both are whole: a failure keeps the earlier pair.
  Options web = setup;
  web.output = options.webStub;
  web.inputs.clear();
  web.folders.clear();
  web.webInstall = true;
  web.askBeforeDownload = options.askBeforeDownload;
  web.webNoLocal = options.webNoLocal;
  web.webSetup = setupBuilder.FirstTemp();
  web.webFile = options.webFile.empty() ? fs::path(setup.output).filename().string() : options.webFile;
  std::error_code ec;
  web.webSize = std::to_string(fs::file_size(web.webSetup, ec));
  web.volumeSize = 0;
  web.spanCd = false;
  Builder webBuilder(web, error, setup.output);
  if (!webBuilder.Make()) return false;
  std::vector<std::string> stubFiles;
  if (!setupBuilder.Commit(written, removed) || !webBuilder.Commit(stubFiles, nullptr)) return false;
  written.insert(written.end(), stubFiles.begin(), stubFiles.end());
  return true;
}

bool ReadBlocks(const std::string& firstVolume, std::vector<Block>& blocks, std::string& error) {
  blocks.clear();
  std::string volume = firstVolume;
  int blockNumber = 0;
  int headerCount = 0;
  for (int j = 1;; ++j) {
    PackFile file(volume);
    if (!file) return error = "cannot open " + volume, false;
    PackTrailer t{};
    ReadTrailer(file.get(), t);
    if (t.PackMagic != pack::kPackMagic) return error = volume + ": no package", false;
    if (!CheckSumAccepted(PackCheckSum(volume, t.TrailerSize), t.CheckSum)) return error = volume + ": bad checksum", false;
    if (j == 1) headerCount = t.HeaderCount;
    std::int64_t end = std::min(PackEndOf(file.get()), FileSize(file.get()));
    std::int64_t position = t.DataStart;
    while (end - position > std::int64_t(pack::kTrailerSize)) {
      unsigned char raw[4];
      if (!ReadAt(file.get(), position, raw, 4)) return error = volume + ": cannot read a block", false;
      std::int32_t n = std::int32_t(std::uint32_t(raw[0]) | std::uint32_t(raw[1]) << 8 | std::uint32_t(raw[2]) << 16 |
                                    std::uint32_t(raw[3]) << 24);
      std::int64_t length = n > 0 ? std::int64_t(n) : -std::int64_t(n);
      if (position + 4 + length > end - std::int64_t(pack::kTrailerSize))
        return error = volume + ": block at " + std::to_string(position) + " runs into the trailer", false;
      std::string data(std::size_t(length), '\0');
      if (length > 0 && !ReadAt(file.get(), position + 4, &data[0], data.size()))
        return error = volume + ": cannot read a block", false;
      position += 4 + length;
      ++blockNumber;
      if (blockNumber <= headerCount) continue;
      Block block;
      block.volume = j;
      block.compressed = n > 0;
      block.stored = length;
      std::string payload;
      if (block.compressed) {
        std::string why;
        if (!Inflate(data, payload, why)) return error = volume + ": block at " + std::to_string(position - 4 - length) + ": " + why, false;
      } else {
        payload.swap(data);
      }
      std::size_t zero = payload.find('\0');
      if (zero != std::string::npos) {
        block.namePart = payload.substr(0, zero);
        block.content = payload.substr(zero + 1);
      } else {
        block.content = payload;
      }
      blocks.push_back(std::move(block));
    }
    if (!HasNextVolume(t)) return true;
    if (j >= 9999) return error = "too many volumes", false;
    volume = VolumeName(firstVolume, j + 1);
  }
}

std::string StubKind(const std::string& b) {
  auto u16 = [&](std::size_t at) { return unsigned(static_cast<unsigned char>(b[at])) | unsigned(static_cast<unsigned char>(b[at + 1])) << 8; };
  if (b.size() < 0x40 || b.compare(0, 2, "MZ") != 0) return "not an MZ executable";
  const std::size_t pe = u16(0x3C) | std::size_t(u16(0x3E)) << 16;
  if (pe > b.size() || b.size() - pe < 26 || b.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return "no PE header";
  const unsigned machine = u16(pe + 4), magic = u16(pe + 24);
  const std::string format = magic == 0x10B ? "PE32" : magic == 0x20B ? "PE32+" : "PE (unknown optional header)";
  const std::string cpu = machine == 0x14C ? "i686" : machine == 0x8664 ? "x86_64" : machine == 0xAA64 ? "ARM64" : "machine " + std::to_string(machine);
  return format + " (" + cpu + ")";
}

namespace {

const char kUsage[] =
    "usage: zpack [OPTIONS] [DESCRIPTION]\n"
    "       zpack --list FILE [--show-token] [--json]\n"
    "\n"
    "Builds an installation file: the stub executable with a package of files appended.\n"
    "Settings come from the DESCRIPTION file (one \"key = value\" per line) and from\n"
    "options of the same names (--key=VALUE or --key VALUE); options win over the file,\n"
    "and repeatable keys (file, dir, language) add to it. Any other key may be given once\n"
    "in the file and once as an option. Keys are taken without regard to case.\n"
    "\n"
    "  -o, --output FILE      installation file to write (its folder is made as needed)\n"
    "  --stub FILE            stub executable\n"
    "  --engine SRC[=>PATH]   the setup engine (started after extraction)\n"
    "  --engine-args TEXT     arguments stored with the engine\n"
    "  --file SRC[=>PATH]     a file (repeatable); PATH under the extraction folder\n"
    "  --dir SRC[=>PREFIX]    every file below a folder (repeatable)\n"
    "  --token TEXT           package token: keep it for every release of the product (the\n"
    "                         installed agents take only updates that carry it)\n"
    "  --token-from FILE      the token of an earlier package (a setup file or an agent)\n"
    "  --codepage N|ascii     the code page file names outside ASCII are stored in (1252)\n"
    "  --seed N               same inputs, token and seed give the same bytes (default:\n"
    "                         SOURCE_DATE_EPOCH, which also caps the files' dates)\n"
    "  --update-url, --info, --agent, --hidden   the auto-update settings\n"
    "  --largest-setup SIZE   largest setup file its agent or web stub downloads (default 4g)\n"
    "  --language ENTRY       a language entry, e.g. \"|English|s0=My Setup|\" (repeatable)\n"
    "  --language-file FILE   a whole language table\n"
    "  --show-temp-note, --activity-bar, --agent-log, --make-agent, --this-is-agent\n"
    "  --span-cd              write a CD-spanning launcher and FILE.001, FILE.002, ...\n"
    "  --volume-size SIZE     split the package into volumes of at most SIZE bytes\n"
    "  --web-install, --web-url, --web-file, --web-no-local, --web-token, --web-size,\n"
    "  --web-setup FILE, --ask-before-download   web-install stubs and their setup files\n"
    "  --web-stub FILE        with a setup build: also write its web-install stub FILE\n"
    "  --compress zlib|store, --level 0..9, --block-size SIZE\n"
    "  --space-needed SIZE    the temporary space the stub asks for (default: computed)\n"
    "  --checksum 1|0, --pack-end auto|on|off, --date file|DOSDATE\n"
    "  -l, --list FILE        list a package's trailer, header texts and blocks\n"
    "  --show-token           with --list: print the tokens themselves\n"
    "  --json                 with --list: one JSON object\n"
    "  --inform FILE --token TEXT (--body TEXT | --body-file F) [--scrambled]\n"
    "                         write an auto-inform text carrying the token\n"
    "  -h, --help             this text\n"
    "  --version              zpack's own version\n"
    "\n"
    "SIZE takes a k, m or g suffix. Exit status: 0 success, 1 failure, 2 usage error.\n"
    "See docs/zpack.md for the description file and docs/package-format.md for the format.\n";

const std::set<std::string> kBooleanKeys = {"hidden", "show-temp-note", "activity-bar", "agent-log",
                                            "span-cd", "make-agent", "this-is-agent", "web-install",
                                            "ask-before-download", "web-no-local", "checksum"};

std::string FlagsText(std::uint8_t flags) {
  static const char* names[] = {"show-temp-note", "next-volume", "span-cd", "activity-bar", "agent-log"};
  std::string text;
  for (int bit = 0; bit < 5; ++bit)
    if (flags & (1u << bit)) text += std::string(text.empty() ? "" : " ") + names[bit];
  return text.empty() ? "-" : text;
}

int List(const std::string& fileName, bool showToken, bool json, std::ostream& out, std::ostream& err) {
  PackFile file(fileName);
  if (!file) {
    err << "zpack: cannot open " << fileName << "\n";
    return 1;
  }
  TGFileInfo info(fileName);
  const PackTrailer& t = info.Trailer;
  if (!info.HasPackage()) {
    err << "zpack: " << fileName << ": no package\n";
    return 1;
  }
  std::uint32_t sum = PackCheckSum(fileName, t.TrailerSize);
  std::string head(4096, '\0');
  {
    std::ifstream in(fileName, std::ios::binary);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
  }
  // The token is no secret from the vendor (every installation file carries it); it is
  // printed only on request so that a listing pasted into a report does not carry it.
  auto tokenText = [&](const std::string& scrambled, const char* none) {
    std::string token;
    if (!TryUnscrambleToken(scrambled, token))
      return std::string(scrambled.empty() ? none : "does not decode");
    return showToken ? token : std::string("present");
  };
  std::string space;
  for (int i = 0; i < pack::kSpaceSlots; ++i) space += (i ? " " : "") + std::to_string(t.SpaceNeeded[i]);
  const bool checksumOk = CheckSumAccepted(sum, t.CheckSum);
  struct Field {
    const char* key;
    std::string value;
    bool number;
  };
  std::vector<Field> fields = {
      {"file", fileName, false},
      {"stub", StubKind(head), false},
      {"package_end", std::to_string(PackEndOf(file.get())), true},
      {"header_blocks", std::to_string(int(t.HeaderCount)), true},
      {"files", std::to_string(t.FilesCount), true},
      {"checksum", std::to_string(t.CheckSum), true},
      {"flags", FlagsText(t.PackFlags), false},
      {"web_install", std::to_string(int(t.IsWebInstall)), true},
      {"ask_before_download", std::to_string(int(t.AskBeforeDownload)), true},
      {"make_agent", std::to_string(int(t.MakeAgent)), true},
      {"this_is_agent", std::to_string(int(t.ThisIsAgent)), true},
      {"space_needed", space, false},
      {"update_url", info.UpdateUrl(), false},
      {"info_file", SUB::GetItem(info.StubInfo, 1), false},
      {"agent_name", info.AgentExeName(), false},
      {"hidden", info.HiddenByDefault() ? "1" : "0", true},
      {"largest_setup", std::to_string(info.LargestSetupFile()), true},
      {"token", tokenText(info.StubToken(false), "none"), false},
      {"languages", std::to_string(SUB::CountItems(info.LangTable)), true},
  };
  if (t.HeaderCount >= pack::kHeaderCountWeb) {
    fields.push_back({"web_url", info.WebUrl(), false});
    fields.push_back({"web_file", info.WebFileName(), false});
    fields.push_back({"web_size", info.WebSize(), false});
    fields.push_back({"web_no_local", info.WebNoLocal() ? "1" : "0", true});
    fields.push_back({"web_token", tokenText(info.WebToken(false), "none"), false});
  }
  std::vector<Block> blocks;
  std::string error;
  bool ok = ReadBlocks(fileName, blocks, error);
  if (json) {
    out << "{";
    for (const auto& f : fields)
      out << JsonText(f.key) << ": " << (f.number ? f.value : JsonText(f.value)) << ", ";
    out << "\"checksum_ok\": " << (checksumOk ? "true" : "false") << ", \"blocks\": [";
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      const Block& b = blocks[i];
      out << (i ? ", " : "") << "{\"volume\": " << b.volume
          << ", \"compressed\": " << (b.compressed ? "true" : "false") << ", \"stored\": " << b.stored
          << ", \"size\": " << b.content.size() << ", \"path\": " << JsonText(SUB::GetItem(b.namePart, 0))
          << ", \"date\": " << JsonText(SUB::GetItem(b.namePart, 1)) << "}";
    }
    out << "], \"sound\": " << (ok ? "true" : "false");
    if (!ok) out << ", \"error\": " << JsonText(error);
    out << "}\n";
  } else {
    out << "file:          " << fileName << "\n"
        << "stub:          " << StubKind(head) << "\n"
        << "package end:   " << PackEndOf(file.get()) << (ReadPackEndPos(file.get()) ? " (PackEndPos)" : "")
        << "\n"
        << "header blocks: " << int(t.HeaderCount) << "\n"
        << "files:         " << t.FilesCount << "\n"
        << "checksum:      " << t.CheckSum
        << (checksumOk ? " ok" : " BAD (computed " + std::to_string(sum) + ")") << "\n"
        << "flags:         " << FlagsText(t.PackFlags) << "\n"
        << "web install:   " << int(t.IsWebInstall) << "  ask: " << int(t.AskBeforeDownload)
        << "  make agent: " << int(t.MakeAgent) << "  agent: " << int(t.ThisIsAgent) << "\n"
        << "space needed:  " << space << "\n"
        << "update url:    " << info.UpdateUrl() << "\n"
        << "info file:     " << SUB::GetItem(info.StubInfo, 1) << "\n"
        << "agent name:    " << info.AgentExeName() << "\n"
        << "hidden:        " << (info.HiddenByDefault() ? 1 : 0) << "\n"
        << "largest setup: " << info.LargestSetupFile() << "\n"
        << "token:         " << tokenText(info.StubToken(false), "none") << "\n"
        << "languages:     " << SUB::CountItems(info.LangTable) << "\n";
    if (t.HeaderCount >= pack::kHeaderCountWeb)
      out << "web url:       " << info.WebUrl() << "\n"
          << "web file:      " << info.WebFileName() << " (" << info.WebSize()
          << " bytes, no local: " << (info.WebNoLocal() ? 1 : 0) << ")\n"
          << "web token:     " << tokenText(info.WebToken(false), "none") << "\n";
    for (const auto& b : blocks)
      out << "  " << b.volume << " " << (b.compressed ? "zlib " : "store") << " " << b.stored << " -> "
          << b.content.size() << "  " << SUB::GetItem(b.namePart, 0) << "  " << SUB::GetItem(b.namePart, 1)
          << "\n";
  }
  if (!ok) {
    err << "zpack: " << error << "\n";
    return 1;
  }
  return 0;
}

// zpack --inform FILE --token T (--body T | --body-file F) [--scrambled]
int WriteInform(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file, token, body, bodyFile;
  bool scrambled = false, haveBody = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string* target = arg == "--inform" ? &file : arg == "--token" ? &token : arg == "--body" ? &body
                        : arg == "--body-file" ? &bodyFile : nullptr;
    if (arg == "--scrambled") {
      scrambled = true;
    } else if (target && i + 1 < args.size()) {
      *target = args[++i];
      haveBody = haveBody || target == &body || target == &bodyFile;
    } else {
      err << "zpack: --inform: unknown or incomplete option " << arg << "\n";
      return 2;
    }
  }
  if (file.empty() || !haveBody) {
    err << "zpack: --inform needs a file and --body or --body-file\n";
    return 2;
  }
  if (!bodyFile.empty() && !ReadWholeFile(bodyFile, body)) {
    err << "zpack: cannot read " << bodyFile << "\n";
    return 1;
  }
  std::string text;
  if (!MakeInformText(token, body, scrambled, text)) {
    err << "zpack: --inform: the token must have 1 to 200 bytes\n";
    return 2;
  }
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  stream.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!stream.flush()) {
    err << "zpack: cannot write " << file << "\n";
    return 1;
  }
  out << file << "\n";
  return 0;
}

}  // namespace

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  for (const std::string& arg : args)
    if (arg == "--inform") return WriteInform(args, out, err);
  std::vector<std::pair<std::string, std::string>> settings;
  std::string description, listFile;
  bool showToken = false, json = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      out << kUsage;
      return 0;
    }
    if (arg == "--version") {
      out << "zpack " << kToolsVersion << "\n";
      return 0;
    }
    auto needValue = [&](const std::string& name, std::string& value) {
      if (i + 1 >= args.size()) {
        err << "zpack: " << name << " needs a value\n";
        return false;
      }
      value = args[++i];
      return true;
    };
    std::string value;
    if (arg == "-l" || arg == "--list") {
      if (!needValue(arg, listFile)) return 2;
    } else if (arg == "--show-token") {
      showToken = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "-o") {
      if (!needValue(arg, value)) return 2;
      settings.emplace_back("output", value);
    } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
      std::string key = arg.substr(2);
      std::size_t equals = key.find('=');
      if (equals != std::string::npos) {
        settings.emplace_back(key.substr(0, equals), key.substr(equals + 1));
      } else if (kBooleanKeys.count(Lower(key))) {
        settings.emplace_back(key, "1");
      } else {
        if (!needValue(arg, value)) return 2;
        settings.emplace_back(key, value);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      err << "zpack: unknown option " << arg << "\n" << "Try zpack --help.\n";
      return 2;
    } else if (description.empty()) {
      description = arg;
    } else {
      err << "zpack: more than one description file given\n";
      return 2;
    }
  }
  if (!listFile.empty()) {
    if (!settings.empty() || !description.empty()) {
      err << "zpack: --list reads a package; it takes no build settings\n";
      return 2;
    }
    return List(listFile, showToken, json, out, err);
  }
  if (showToken || json) {
    err << "zpack: --show-token and --json go with --list\n";
    return 2;
  }
  if (description.empty() && settings.empty()) {
    err << kUsage;
    return 2;
  }
  // Options replace a single setting of the description, but one option given twice is a
  // slip (which of the two was meant?).
  std::set<std::string> given;
  for (const auto& setting : settings) {
    const std::string key = Lower(Trim(setting.first));
    if (!IsRepeatableKey(key) && !given.insert(key).second) {
      err << "zpack: --" << key << " is given twice\n";
      return 2;
    }
  }

  Options options;
  std::string error;
  if (!description.empty()) {
    std::string text;
    if (!ReadWholeFile(description, text)) {
      err << "zpack: cannot read " << description << "\n";
      return 1;
    }
    if (!ParseDescription(text, options, error, fs::path(description).parent_path().string())) {
      err << "zpack: " << description << ": " << error << "\n";
      return 2;
    }
  }
  for (const auto& [key, value] : settings)
    if (!ApplySetting(options, key, value, error)) {
      err << "zpack: --" << key << ": " << error << "\n";
      return 2;
    }
  // The reproducible-builds convention: SOURCE_DATE_EPOCH seeds the random numbers and
  // caps the files' dates, unless a seed is given.
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    std::int64_t value = -1;
    if (!TryParseInt64(epoch, value) || value < 0) {
      err << "zpack: SOURCE_DATE_EPOCH must be a number of seconds, not \"" << epoch << "\"\n";
      return 2;
    }
    options.sourceDateEpoch = value;
    if (options.seed < 0) options.seed = value;
  }
  if (options.webInstall && (options.spanCd || options.volumeSize || !options.webStub.empty())) {
    err << "zpack: web-install makes a stub without files: span-cd, volume-size and web-stub do not go with "
           "it\n";
    return 2;
  }
  if (!options.token.empty() && !options.tokenFrom.empty()) {
    err << "zpack: give token or token-from, not both\n";
    return 2;
  }
  std::vector<std::string> written, removed;
  if (!Build(options, written, error, &removed)) {
    err << "zpack: " << error << "\n";
    return 1;
  }
  for (const auto& name : written) out << name << "\n";
  for (const auto& name : removed) err << "zpack: removed " << name << ", a volume of the earlier build\n";
  return 0;
}

}  // namespace zpack
