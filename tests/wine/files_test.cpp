// File routines on real files and folders of the Wine prefix.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <vector>

#include "system/Files.h"
#include "driver/StubLogic.h"
#include "system/FilesLogic.h"
#include "system/ProcessViewer.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "ui/ZMsgBox.h"
#include "tests/wine/TestSupport.h"

namespace {
// The digest of a folder, as the agent makes it of its program's path.
std::string AgentFolderDigestOf(const std::string& folder) {
  return AgentFolderDigest(folder + "\\Update.exe");
}
}  // namespace

namespace {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class FilesScratch {
 public:
  explicit FilesScratch(const std::string& name)
      : path_(TempFolder(true) + "zfiles_" + std::to_string(GetCurrentProcessId()) + "_" + name) {
    Clean();
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~FilesScratch() { Clean(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "\\" + rel; }

 private:
  void Clean() { DeleteTree(path_, true); }
  std::string path_;
};

void Put(const std::string& path, const std::string& text, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  ASSERT_TRUE(WriteTextFile(path, text)) << path;
  SetFileAttributesA(path.c_str(), attributes);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }


std::vector<std::int64_t> g_positions;
int g_cancelAfter = -1;
void RecordProgress(int kind, int reserved, std::int64_t total, std::uint8_t& cancel, int one, std::int64_t position) {
  EXPECT_EQ(kind, 0);
  EXPECT_EQ(reserved, 0);
  EXPECT_EQ(one, 1);
  EXPECT_GT(total, 0);
  g_positions.push_back(position);
  if (g_cancelAfter >= 0 && static_cast<int>(g_positions.size()) > g_cancelAfter) cancel = 1;
}

int g_quitsSeen = 0;
LRESULT CALLBACK CountQuits(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUIT) ++g_quitsSeen;
  return DefWindowProcA(window, message, wParam, lParam);
}

int g_timerCalls = 0;
void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++g_timerCalls; }

const std::string kLong = std::string(300, 'x');  // with the folder, beyond MAX_PATH

}  // namespace

TEST(Files, ReadFilePartHonoursOffsetAndLength) {
  FilesScratch dir("read");
  const std::string file = dir / "data.bin";
  Put(file, std::string("0123456789\0\xFF", 12));
  const struct {
    std::int64_t maxLength, offset;
    std::string expected;
  } cases[] = {
      {0, 0, std::string("0123456789\0\xFF", 12)},
      {3, 2, "234"},
      {100, 8, std::string("89\0\xFF", 4)},
      {0, 11, "\xFF"},
      {0, 12, ""},   // offset at the end
      {0, -1, ""},   // negative offset
      {0, 500, ""},  // beyond the end
      {-5, 0, ""},   // a negative length asks for nothing
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadFilePart(file, c.maxLength, c.offset), c.expected) << c.maxLength << "@" << c.offset;
  EXPECT_EQ(ReadFilePart(dir / "missing.bin"), "");
  EXPECT_EQ(ReadFilePart(dir.path()), "");  // a folder is not a file
  EXPECT_EQ(ReadFilePart(""), "");
  EXPECT_EQ(ReadFilePart(dir / kLong), "");

  // Readable while another handle has it open for writing.
  UniqueHandle writer(
      CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.valid());
  EXPECT_EQ(ReadFilePart(file, 2, 0), "01");
}

// A file longer than the 32-bit address space (sparse: it takes no room) is refused whole,
// not read into a buffer cut to the low 32 bits of its length.
// A held file cannot be renamed or deleted, and it is read through its handle: with the
// folder it lies in renamed (where the system allows that) and another file put at its
// name, ReadFilePart and OpenForReading still give the held file.
TEST(Files, HeldFileIsReadThroughItsHandle) {
  const std::string root = TempFolder(true) + "held_test_" + std::to_string(GetCurrentProcessId()) + "\\";
  const std::string dir = root + "d", path = dir + "\\f.bin";
  DeleteTree(root, true);
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA(dir.c_str(), nullptr);
  Put(path, "held");
  HoldPath(path, OpenDenyingWrites(path));
  EXPECT_FALSE(MoveFileA(path.c_str(), (dir + "\\g.bin").c_str()));
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  if (!MoveFileA(dir.c_str(), (root + "moved").c_str())) {
    ReleaseHeld(path);
    DeleteTree(root, true);
    GTEST_SKIP() << "the system renames no folder that holds an open file";
  }
  CreateDirectoryA(dir.c_str(), nullptr);
  Put(path, "other");
  UniqueHandle reopened = OpenForReading(path);
  char bytes[8] = {};
  DWORD read = 0;
  EXPECT_TRUE(reopened && ReadFile(reopened.get(), bytes, sizeof bytes, &read, nullptr));
  reopened.reset();
  // Windows reopens the handle's own file; Wine's ReOpenFile opens the path the handle was
  // opened with again, which now names the other file.
  const bool reopensByPath = std::string(bytes, read) == "other";
  if (!reopensByPath) {
    EXPECT_EQ(std::string(bytes, read), "held");
    EXPECT_EQ(ReadFilePart(path), "held");
  }
  ReleaseHeld(root);  // everything below a folder lets go
  EXPECT_EQ(ReadFilePart(path), "other");
  DeleteTree(root, true);
  if (reopensByPath) GTEST_SKIP() << "this system's ReOpenFile follows the path, not the handle's file";
}

TEST(Files, ReadFilePartRefusesWhatDoesNotFitInMemory) {
#ifdef _WIN64
  GTEST_SKIP() << "a 32-bit process's limit: a 64-bit string holds 4 GiB, so the 64-bit program would read it all";
#endif
  FilesScratch dir("huge");
  const std::string file = dir / "huge.bin";
  {
    UniqueHandle out(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(out.valid());
    DWORD ignored = 0;
    DeviceIoControl(out.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = (std::int64_t(1) << 32) + 100;
    ASSERT_TRUE(SetFilePointerEx(out.get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(out.get()));
    // Bytes that would overrun the heap visibly if they were read into a short buffer.
    const std::string marks(4 << 20, '\x5A');
    DWORD written = 0;
    ASSERT_TRUE(SetFilePointerEx(out.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN));
    ASSERT_TRUE(WriteFile(out.get(), marks.data(), DWORD(marks.size()), &written, nullptr));
  }
  ASSERT_EQ(FileSizeByName(file), (std::int64_t(1) << 32) + 100);
  EXPECT_EQ(ReadFilePart(file), "");
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < count && i < 64; ++i) EXPECT_TRUE(HeapValidate(heaps[i], 0, nullptr)) << "heap " << i;
  EXPECT_EQ(ReadFilePart(file, 0, 100), "");  // still 4 GiB from there
  EXPECT_EQ(ReadFilePart(file, 3, std::int64_t(1) << 32), std::string(3, '\0'));
}

TEST(Files, WriteTextFileCreatesAppendsAndSetsTheDate) {
  FilesScratch dir("write");
  const std::string file = dir / "out.txt";
  EXPECT_TRUE(WriteTextFile(file, ""));  // empty text: the file exists, empty
  EXPECT_TRUE(Exists(file));
  EXPECT_EQ(FileSizeByName(file), 0);
  EXPECT_TRUE(WriteTextFile(file, "abc"));
  EXPECT_TRUE(WriteTextFile(file, "", 0, true));  // empty append keeps the content
  EXPECT_TRUE(WriteTextFile(file, "def", 0, true));
  EXPECT_EQ(ReadFilePart(file), "abcdef");
  EXPECT_TRUE(WriteTextFile(file, "x"));  // without append the file is emptied first
  EXPECT_EQ(ReadFilePart(file), "x");

  // 15 March 2021 10:20:30 as DOS date and time.
  const std::uint32_t dosDate = ((2021 - 1980) << 25) | (3 << 21) | (15 << 16) | (10 << 11) | (20 << 5) | (30 / 2);
  ASSERT_TRUE(WriteTextFile(file, "dated", dosDate));
  UniqueHandle h(CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME utc, local;
  ASSERT_TRUE(GetFileTime(h.get(), nullptr, nullptr, &utc));
  FileTimeToLocalFileTime(&utc, &local);
  WORD date = 0, time = 0;
  FileTimeToDosDateTime(&local, &date, &time);
  EXPECT_EQ((static_cast<std::uint32_t>(date) << 16) | time, dosDate);

  // Files that cannot be written are failures, whatever the length of the text.
  EXPECT_FALSE(WriteTextFile(dir / "no\\such\\folder.txt", ""));
  EXPECT_FALSE(WriteTextFile(dir / "no\\such\\folder.txt", "abc"));
  EXPECT_FALSE(WriteTextFile(dir / kLong, "abc"));
  EXPECT_FALSE(WriteTextFile("", "abc"));
  Put(dir / "busy.txt", "old");
  {
    UniqueHandle busy(CreateFileA((dir / "busy.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(busy.valid());
    EXPECT_FALSE(WriteTextFile(dir / "busy.txt", "new"));
    EXPECT_FALSE(WriteTextFile(dir / "busy.txt", "new", 0, true));
  }
  EXPECT_EQ(ReadFilePart(dir / "busy.txt"), "old");
}

TEST(Files, LargeWritesGoInChunksWithProgressAndCancel) {
  FilesScratch dir("chunks");
  const std::string file = dir / "big.bin";
  std::string text(1048577, 'a');
  text.back() = 'z';
  // Without a callback a text above 1 MiB is written in pieces, and completely.
  ASSERT_TRUE(WriteTextFile(file, text));
  EXPECT_EQ(ReadFilePart(file), text);

  g_positions.clear();
  g_cancelAfter = -1;
  ASSERT_TRUE(WriteTextFile(file, text, 0, false, RecordProgress));
  ASSERT_EQ(g_positions.size(), 12u);  // the start, ten chunks of 104857 and the last 7 bytes
  for (std::size_t i = 0; i <= 10; ++i) EXPECT_EQ(g_positions[i], static_cast<std::int64_t>(i) * 104857);
  EXPECT_EQ(g_positions.back(), 1048577);

  // Small texts with a callback: chunks of 1024 at most.
  g_positions.clear();
  ASSERT_TRUE(WriteTextFile(file, std::string(2500, 'b'), 0, false, RecordProgress));
  EXPECT_EQ(g_positions, (std::vector<std::int64_t>{0, 1024, 2048, 2500}));

  // The callback stops the write after the second chunk: a failure, the rest unwritten.
  g_positions.clear();
  g_cancelAfter = 2;
  EXPECT_FALSE(WriteTextFile(file, text, 0, false, RecordProgress));
  g_cancelAfter = -1;
  EXPECT_EQ(FileSizeByName(file), 2 * 104857);
}

TEST(Files, AppendTextFileSharesTheFile) {
  FilesScratch dir("append");
  const std::string file = dir / "log.txt";
  EXPECT_TRUE(AppendTextFile(file, "one\r\n"));  // created
  {
    // In use by a reader and writer that share: the append still goes through.
    UniqueHandle other(CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other.valid());
    EXPECT_TRUE(AppendTextFile(file, "two\r\n"));
    EXPECT_TRUE(AppendTextFile(file, ""));
  }
  EXPECT_EQ(ReadFilePart(file), "one\r\ntwo\r\n");
  {
    UniqueHandle locked(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked.valid());
    EXPECT_FALSE(AppendTextFile(file, "three"));
  }
  EXPECT_FALSE(AppendTextFile(dir / "missing\\log.txt", "x"));
}

namespace {

constexpr int kAppendLines = 400;

struct Appender {
  std::string file;
  char tag;
};

DWORD WINAPI AppendLines(void* param) {
  const auto* a = static_cast<const Appender*>(param);
  for (int i = 0; i < kAppendLines; ++i) AppendTextFile(a->file, std::string(1, a->tag) + std::to_string(i) + "\r\n");
  return 0;
}

}  // namespace

TEST(Files, ConcurrentAppendsKeepEveryLine) {
  // The agent and its working copy append to one log at the same time.
  FilesScratch dir("appenders");
  std::vector<Appender> appenders;
  for (char tag : {'a', 'b', 'c', 'd'}) appenders.push_back({dir / "shared.log", tag});
  std::vector<UniqueHandle> threads;
  for (Appender& a : appenders) threads.emplace_back(CreateThread(nullptr, 0, AppendLines, &a, 0, nullptr));
  for (UniqueHandle& t : threads) WaitForSingleObject(t.get(), 60000);
  const std::string text = "\n" + ReadFilePart(dir / "shared.log");
  int missing = 0;
  for (const Appender& a : appenders)
    for (int i = 0; i < kAppendLines; ++i)
      if (text.find("\n" + std::string(1, a.tag) + std::to_string(i) + "\r\n") == std::string::npos) ++missing;
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4 * kAppendLines + 1);
}

TEST(Files, SizesAndSeek) {
  FilesScratch dir("sizes");
  Put(dir / "hidden.bin", std::string(777, 'h'), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(FileSizeByName(dir / "hidden.bin"), 777);
  EXPECT_EQ(FileSizeByName(dir / "missing.bin"), 0);
  EXPECT_EQ(FileSizeByName(""), 0);
  EXPECT_EQ(FileSizeByName(dir / kLong), 0);

  UniqueHandle h(
      CreateFileA((dir / "seek.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(h.valid());
  // Positions beyond 4 GiB need the 64-bit forms.
  const std::int64_t beyond4G = 5LL << 30;
  EXPECT_EQ(Seek(h.get(), 0, beyond4G), beyond4G);
  EXPECT_EQ(Seek(h.get(), 1, -10), beyond4G - 10);
  EXPECT_EQ(FileSize(h.get()), 0);
  ASSERT_TRUE(SetEndOfFile(h.get()));
  EXPECT_EQ(FileSize(h.get()), beyond4G - 10);
  EXPECT_EQ(Seek(h.get(), 2, 0), beyond4G - 10);
  EXPECT_EQ(Seek(h.get(), 0, -1), -1);
  SetFilePointer(h.get(), 0, nullptr, FILE_BEGIN);
  SetEndOfFile(h.get());
}

TEST(Files, DiskFreeAsksTheFolderThenTheRoot) {
  ULARGE_INTEGER available, total, free;
  ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
  const double root = DiskFree("C:\\");
  EXPECT_GT(root, 0);
  // Folders that do not exist fall back to their drive's root.
  const double missing = DiskFree("c:/no/such/folder");
  EXPECT_NEAR(missing, root, 64.0 * 1024 * 1024);
  EXPECT_NEAR(DiskFree(TempFolder(false)), root, 64.0 * 1024 * 1024);
  EXPECT_EQ(DiskFree(""), 0);
  EXPECT_EQ(DiskFree("Q:\\nothing"), 0);  // no such drive
  EXPECT_EQ(DiskFree("1"), 0);
}

TEST(Files, TreeSearchesFindTheFirstHit) {
  FilesScratch dir("find");
  CreateDirectoryA((dir / "a").c_str(), nullptr);
  CreateDirectoryA((dir / "a\\Deep").c_str(), nullptr);
  CreateDirectoryA((dir / "a\\Deep\\Target Folder").c_str(), nullptr);
  Put(dir / "a\\Deep\\needle.txt", "n", FILE_ATTRIBUTE_HIDDEN);
  Put(dir / "top.txt", "t");

  EXPECT_EQ(FindFileInTree(dir.path(), "top.txt"), dir / "top.txt");
  EXPECT_TRUE(SameTextTrim(FindFileInTree(dir.path(), "NEEDLE.TXT"), dir / "a\\Deep\\NEEDLE.TXT"));
  EXPECT_EQ(FindFileInTree(dir.path() + "\\", "needle.txt"), dir / "a\\Deep\\needle.txt");
  EXPECT_EQ(FindFileInTree(dir.path(), "Deep"), "");  // a folder is not a file
  EXPECT_EQ(FindFileInTree(dir.path(), "missing.txt"), "");
  EXPECT_EQ(FindFileInTree(dir / "missing", "needle.txt"), "");
  EXPECT_EQ(FindFileInTree(dir.path(), ""), "");
  EXPECT_EQ(FindFileInTree(dir / kLong, "needle.txt"), "");

  EXPECT_EQ(FindFolderInTree(dir.path(), "target folder"), dir / "a\\Deep\\Target Folder");
  EXPECT_EQ(FindFolderInTree(dir.path(), "top.txt"), "");  // a file is not a folder
  EXPECT_EQ(FindFolderInTree(dir.path(), "nothing"), "");
  EXPECT_EQ(FindFolderInTree(dir.path(), ""), "");
}

TEST(Files, DriveSearchesUseTheDriveType) {
  // The file sits in the root of C:, so the search ends at its first step.
  const std::string name = "zfind_" + std::to_string(GetCurrentProcessId()) + ".txt";
  const std::string rootFile = "C:\\" + name;
  ASSERT_TRUE(WriteTextFile(rootFile, "x"));
  const UINT cType = GetDriveTypeA("C:\\");
  EXPECT_TRUE(SameTextTrim(FindFileOnDrives(name, cType), rootFile));
  EXPECT_EQ(FindFileOnDrives(name, DRIVE_CDROM == cType ? DRIVE_RAMDISK : DRIVE_CDROM), "");
  DeleteFileA(rootFile.c_str());

  const std::string temp = TempFolder(false);
  EXPECT_EQ(FindFolderOnDrives(temp, GetDriveTypeA(temp.substr(0, 3).c_str())), temp);
  EXPECT_EQ(FindFolderOnDrives(temp, DRIVE_RAMDISK), "");
  EXPECT_EQ(FindFolderOnDrives(temp + "\\no_such_folder", GetDriveTypeA(temp.substr(0, 3).c_str())), "");
}

TEST(Files, DeleteFilesTakesHiddenSystemAndReadOnlyFiles) {
  FilesScratch dir("delfiles");
  Put(dir / "h.tmp", "h", FILE_ATTRIBUTE_HIDDEN);
  Put(dir / "s.tmp", "s", FILE_ATTRIBUTE_SYSTEM);
  Put(dir / "r.tmp", "r", FILE_ATTRIBUTE_READONLY);
  Put(dir / "keep.txt", "k");
  CreateDirectoryA((dir / "sub.tmp").c_str(), nullptr);

  EXPECT_TRUE(DeleteFiles(dir / "*.tmp", false));
  EXPECT_FALSE(Exists(dir / "h.tmp"));
  EXPECT_FALSE(Exists(dir / "s.tmp"));
  EXPECT_TRUE(Exists(dir / "r.tmp"));  // read-only without clearing the attributes
  EXPECT_TRUE(DeleteFiles(dir / "*.tmp", true));
  EXPECT_FALSE(Exists(dir / "r.tmp"));
  EXPECT_TRUE(Exists(dir / "keep.txt"));
  EXPECT_TRUE(Exists(dir / "sub.tmp"));            // folders are not files
  EXPECT_FALSE(DeleteFiles(dir / "*.tmp", true));  // nothing left to match
  EXPECT_FALSE(DeleteFiles("", true));
  EXPECT_FALSE(DeleteFiles(dir / "missing\\*.*", true));
}

TEST(Files, DeleteTreeRemovesEverythingItCan) {
  const DWORD handlesBefore = HandleCount();
  FilesScratch dir("tree");
  const std::string root = dir / "root";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA((root + "\\sub").c_str(), nullptr);
  CreateDirectoryA((root + "\\sub\\deeper").c_str(), nullptr);
  Put(root + "\\plain.txt", "p");
  Put(root + "\\sub\\ro.txt", "r", FILE_ATTRIBUTE_READONLY);
  Put(root + "\\sub\\deeper\\hidden.txt", "h", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_TRUE(DeleteTree(root, true));
  EXPECT_FALSE(Exists(root));

  EXPECT_FALSE(DeleteTree(dir / "missing", true));
  EXPECT_FALSE(DeleteTree("", true));
  EXPECT_FALSE(DeleteTree(dir / kLong, true));

  // A file in use keeps its folder and the tree; everything else goes.
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA((root + "\\busy").c_str(), nullptr);
  CreateDirectoryA((root + "\\free").c_str(), nullptr);
  Put(root + "\\busy\\open.txt", "o");
  Put(root + "\\busy\\other.txt", "x");
  Put(root + "\\free\\f.txt", "f");
  Put(root + "\\top.txt", "t");
  {
    UniqueHandle inUse(CreateFileA((root + "\\busy\\open.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(inUse.valid());
    EXPECT_FALSE(DeleteTree(root, true));
    EXPECT_TRUE(Exists(root + "\\busy\\open.txt"));
    EXPECT_FALSE(Exists(root + "\\busy\\other.txt"));
    EXPECT_FALSE(Exists(root + "\\free"));
    EXPECT_FALSE(Exists(root + "\\top.txt"));
  }
  EXPECT_TRUE(DeleteTree(root, false));
  EXPECT_EQ(HandleCount(), handlesBefore);
}

namespace {

// Wine keeps its drives as links in the prefix's "dosdevices" folder; the unix ln makes
// (or, with an empty folder, removes) one. Wine starts unix programs given by path.
bool RunUnix(const std::string& commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  // Wine reports no exit code of a unix program: the caller checks what it did.
  return WaitForSingleObject(process.get(), 20000) == WAIT_OBJECT_0;
}

std::string UnixPathOf(const std::string& path) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return "";
  std::wstring wide(path.begin(), path.end());
  char* name = unixName(wide.c_str());
  if (!name) return "";
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Drive Q: for a folder while it lives.
class WineDriveQ {
 public:
  explicit WineDriveQ(const std::string& folder) {
    char prefix[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH)) return;
    link_ = std::string(prefix) + "/dosdevices/q:";
    RunUnix("/bin/ln -sfn \"" + UnixPathOf(folder) + "\" \"" + link_ + "\"");
  }
  ~WineDriveQ() {
    if (!link_.empty()) RunUnix("/bin/rm -f \"" + link_ + "\"");
  }

 private:
  std::string link_;
};

}  // namespace

TEST(Files, DeleteTreeRefusesDriveRoots) {
  // A drive letter of its own for a scratch folder: what a root delete would empty.
  FilesScratch dir("rootdrive");
  Put(dir / "keep.txt", "k");
  CreateDirectoryA((dir / "sub").c_str(), nullptr);
  Put(dir / "sub\\inner.txt", "i");
  WineDriveQ drive(dir.path());
  for (int i = 0; i < 50 && !Exists("Q:\\keep.txt"); ++i) Sleep(100);
  ASSERT_TRUE(Exists("Q:\\keep.txt")) << "drive Q: could not be mapped";
  char previous[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  SetCurrentDirectoryA("Q:\\sub");
  for (const char* base : {"Q:\\", "Q:", "q:/", "\\", "/", "Q:\\sub\\..", "..\\", "\\\\?\\Q:\\"})
    EXPECT_FALSE(DeleteTree(base, true)) << base;
  SetCurrentDirectoryA(previous);
  EXPECT_TRUE(Exists("Q:\\keep.txt"));
  EXPECT_TRUE(Exists("Q:\\sub\\inner.txt"));
  // A folder on that drive is still deleted.
  EXPECT_TRUE(DeleteTree("Q:\\sub", true));
  EXPECT_FALSE(Exists(dir / "sub"));
}

// A junction at the name of a folder the stub deletes (its own SETUP_ folder): made as a
// mount point through the file system, else as a unix link, which Wine reports alike.
static bool MakeJunction(const std::string& link, const std::string& target) {
  if (CreateDirectoryA(link.c_str(), nullptr)) {
    UniqueHandle dir(CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const std::wstring substitute = L"\\??\\" + std::wstring(target.begin(), target.end());
    std::vector<BYTE> buffer(sizeof(DWORD) + 2 * sizeof(WORD) + 4 * sizeof(WORD) +
                             (substitute.size() + 2) * sizeof(wchar_t));
    auto* words = reinterpret_cast<WORD*>(buffer.data());
    *reinterpret_cast<DWORD*>(buffer.data()) = IO_REPARSE_TAG_MOUNT_POINT;
    words[2] = static_cast<WORD>(buffer.size() - 8);                          // data length
    words[4] = 0;                                                             // substitute offset
    words[5] = static_cast<WORD>(substitute.size() * sizeof(wchar_t));        // substitute length
    words[6] = static_cast<WORD>((substitute.size() + 1) * sizeof(wchar_t));  // print offset
    words[7] = 0;                                                             // print length
    std::copy(substitute.begin(), substitute.end(), reinterpret_cast<wchar_t*>(words + 8));
    DWORD returned = 0;
    if (dir && DeviceIoControl(dir.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                               static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr))
      return true;
    dir.reset();
    RemoveDirectoryA(link.c_str());
  }
  RunUnix("/bin/ln -sfn \"" + UnixPathOf(target) + "\" \"" + UnixPathOf(ExtractFileDir(link)) + "/" +
          ExtractFileName(link) + "\"");
  const DWORD attributes = GetFileAttributesA(link.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

TEST(Files, DeleteTreeRemovesAJunctionNotItsTarget) {
  FilesScratch dir("junction");
  const std::string target = dir / "victim";
  CreateDirectoryA(target.c_str(), nullptr);
  Put(target + "\\keep.txt", "k");
  const std::string outer = dir / "outer";
  CreateDirectoryA(outer.c_str(), nullptr);
  // The folder itself a junction, and a junction inside a folder.
  for (const std::string& link : {dir / "SETUP_1", outer + "\\inner"}) {
    if (!MakeJunction(link, target))
      GTEST_SKIP() << "this Wine makes no junction (nor reports a link as one)";
    ASSERT_TRUE(Exists(link + "\\keep.txt")) << link;
  }
  DeleteTree(dir / "SETUP_1", true);
  DeleteTree(outer, true);
  EXPECT_TRUE(Exists(target + "\\keep.txt")) << "the junction's target was emptied";
  // Windows removes the links themselves; Wine 8 cannot remove a junction at all, so a
  // link that is left must still be the link.
  for (const std::string& link : {dir / "SETUP_1", outer + "\\inner"}) {
    const DWORD attributes = GetFileAttributesA(link.c_str());
    EXPECT_TRUE(attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) << link;
  }
}

TEST(Files, FinalPathIsOneSpellingOfAFolder) {
  // The agent's folder digest is taken from it: every spelling that reaches the folder
  // must give the same digest, and another folder another one.
  const std::string base = TempFolder(true) + "zfinal_" + std::to_string(GetCurrentProcessId());
  const bool cp1252 = GetACP() == 1252;
  const std::string leaf = cp1252 ? "\xC4pp Dir" : "App Dir";  // "Äpp Dir"
  const std::string folder = base + "\\" + leaf;
  ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((base + "\\Other").c_str(), nullptr));
  const std::string final = FinalPathOf(folder);
  EXPECT_FALSE(StartsWith("\\\\?\\", final, false)) << final;
  const std::string digest = AgentFolderDigestOf(final);
  std::vector<std::string> spellings = {ReplaceChar(folder, '\\', '/'), base + "\\\\" + leaf,
                                        UpperAscii(base) + "\\" + leaf, ShortPathOf(folder)};
  if (cp1252) spellings.push_back(base + "\\\xE4PP dIR");  // "äPP dIR"
  for (const std::string& spelling : spellings) {
    EXPECT_EQ(AgentFolderDigestOf(FinalPathOf(spelling)), digest)
        << spelling << " -> " << FinalPathOf(spelling);
  }
  EXPECT_NE(AgentFolderDigestOf(FinalPathOf(base + "\\Other")), digest);
  EXPECT_EQ(FinalPathOf(base + "\\missing"), base + "\\missing");
  DeleteTree(base, true);
}

TEST(Files, EjectCDOnlyForCdDrives) {
  for (const char* path : {"", "1:\\", "C:\\", "c", "\\\\server\\share"}) EXPECT_FALSE(EjectCD(path)) << path;
}

TEST(YieldWait, StepsAndDuration) {
  const struct {
    int step, total, expected;
  } steps[] = {{0, 100, 10}, {0, 5, 1}, {0, 1000, 25}, {0, 0, 1}, {7, 1000, 7}, {-3, 100, 10}};
  for (const auto& c : steps) EXPECT_EQ(YieldStep(c.step, c.total), c.expected) << c.step << "/" << c.total;

  // The wait lasts its total and dispatches what the thread's windows were sent meanwhile.
  g_timerCalls = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTimer);
  const std::int64_t start = TickMs();
  YieldWait(0, 300);
  const std::int64_t took = TickMs() - start;
  KillTimer(nullptr, timer);
  EXPECT_GE(took, 300);
  EXPECT_LT(took, 1000);
  EXPECT_GE(g_timerCalls, 3);
  // A negative pause does not sleep for ever.
  YieldX(-1);
}

TEST(YieldX, HandsTheQuitMessageOnToTheLoopOutside) {
  // Drop a quit left by an earlier test.
  MSG stale;
  while (PeekMessageA(&stale, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  PostQuitMessage(7);
  YieldX(0);
  YieldWait(0, 100);
  MSG quit;
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 7u);
  EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

  // A quit posted to a window (as another program's QuitProgram does) still reaches the
  // window's handler, once, and is handed on as well.
  ScopedWindowClass cls("ZYieldQuitTarget", GetModuleHandleA(nullptr));
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = CountQuits;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ZYieldQuitTarget";
  ASSERT_TRUE(cls.Register(wc));
  UniqueWindow window(CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr));
  g_quitsSeen = 0;
  PostMessageA(window.get(), WM_QUIT, 15, 255);
  YieldWait(0, 100);
  EXPECT_EQ(g_quitsSeen, 1);
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 15u);
}
