#include "system/Files.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <exception>

#include "system/CommandLine.h"
#include "system/DllSafety.h"
#include "system/FilesLogic.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "system/Pump.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

struct HeldPath {
  std::string path;
  UniqueHandle handle;
};
struct FilesState {
  // Few at a time: the own file, the setup folders, a web install's setup file.
  HeldPath held[8];
};
FilesState state;

bool IsDots(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// The path as the system resolves it ("\" and "C:\.." become a drive root); the path
// itself when it cannot be resolved.
std::string FullPathOf(const std::string& path) {
  char buffer[MAX_PATH + 1];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return n == 0 || n >= sizeof buffer ? path : std::string(buffer, n);
}

void SetDosFileDate(HANDLE file, std::uint32_t fileDate) {
  FILETIME local, utc;
  if (DosDateTimeToFileTime(HIWORD(fileDate), LOWORD(fileDate), &local) && LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(file, nullptr, nullptr, &utc);
}

// Writes all of data[0, size) in pieces a DWORD can count; the bytes actually written.
std::uint64_t WriteBytes(HANDLE file, const char* data, std::uint64_t size) {
  std::uint64_t done = 0;
  while (done < size) {
    DWORD piece = static_cast<DWORD>(std::min<std::uint64_t>(size - done, 0x40000000));
    DWORD written = 0;
    if (!WriteFile(file, data + done, piece, &written, nullptr) || written == 0) break;
    done += written;
  }
  return done;
}

using ExistsTest = bool (*)(const std::string& folder, const std::string& name);

bool FileIsIn(const std::string& folder, const std::string& name) { return FileExists(folder + "\\" + name); }

// The folder itself ends with "\" + name, not a child of it.
bool FolderEndsWith(const std::string& folder, const std::string& name) {
  return !name.empty() && EndsWith("\\" + name, folder, true) && FolderExists(folder);
}

std::string SearchTree(const std::string& folder, const std::string& name, ExistsTest test, bool folderTest) {
  const std::string base = RemoveTrailingBackslash(folder);
  if (folderTest) {
    if (test(base, name)) return base;
  } else if (test(base, name)) {
    return base + "\\" + name;
  }
  WIN32_FIND_DATAA data;
  UniqueFindHandle find(FindFirstFileA((base + "\\*.*").c_str(), &data));
  if (!find) return "";
  do {
    // Junctions and links are not followed: they may point back up the tree.
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !IsDots(data.cFileName)) {
      std::string hit = SearchTree(base + "\\" + data.cFileName, name, test, folderTest);
      if (!hit.empty()) return hit;
    }
    YieldX(0);
  } while (FindNextFileA(find.get(), &data));
  return "";
}

std::string SearchDrives(const std::string& name, UINT driveType, bool folderTest) {
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) != driveType) continue;
    std::string hit = folderTest ? FindFolderInTree(root, name) : FindFileInTree(root, name);
    if (!hit.empty()) return hit;
  }
  return "";
}

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::int64_t Seek(HANDLE file, int origin, std::int64_t offset) {
  LARGE_INTEGER distance, position;
  distance.QuadPart = offset;
  DWORD method = origin == 1 ? FILE_CURRENT : origin == 2 ? FILE_END : FILE_BEGIN;
  if (!SetFilePointerEx(file, distance, &position, method)) return -1;
  return position.QuadPart;
}

std::int64_t FileSize(HANDLE file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) return 0;
  return size.QuadPart;
}

std::int64_t FileSizeByName(const std::string& path) {
  WIN32_FIND_DATAA data;
  UniqueFindHandle find(FindFirstFileA(path.c_str(), &data));
  if (!find) return 0;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string ReadFilePart(const std::string& path, std::int64_t maxLength, std::int64_t offset) {
  std::string result;
  if (!FileExists(path)) return result;
  try {
    UniqueHandle file = OpenForReading(path);
    if (!file) return result;
    const std::int64_t size = FileSize(file.get());
    std::int64_t n = size - offset;
    if (maxLength != 0) n = std::min(n, maxLength);
    if (offset < 0 || offset >= size || n <= 0) return result;
    if (Seek(file.get(), 0, offset) != offset) return result;
    // A length beyond what a string of this process can hold (a 32-bit size_t would
    // wrap it) is refused, not cut short.
    if (static_cast<std::uint64_t>(n) > result.max_size()) {
      Output() << TracePid() << " ReadFilePart() --- " << path << ": " << n << " bytes do not fit in memory"
               << EndLine;
      return result;
    }
    result.resize(static_cast<std::size_t>(n));
    std::int64_t got = 0;
    while (got < n) {
      DWORD piece = static_cast<DWORD>(std::min<std::int64_t>(n - got, 0x40000000));
      DWORD read = 0;
      if (!ReadFile(file.get(), &result[static_cast<std::size_t>(got)], piece, &read, nullptr) || read == 0) break;
      got += read;
    }
    if (got != n) result.clear();
  } catch (const std::exception& e) {  // a size the memory cannot hold
    TraceException(e, "ReadFilePart", path);
    result.clear();
  }
  return result;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::uint32_t fileDate, bool append,
                   WriteProgressCallback callback) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, append ? kShareAll : 0, nullptr,
                                append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  // A file that cannot be opened is a failure even for an empty text.
  if (!file) return false;
  if (append) Seek(file.get(), 2, 0);
  const std::uint64_t total = text.size();
  std::uint64_t position = 0;
  if (callback || total > kWriteChunkThreshold) {
    std::uint8_t cancel = 0;
    if (callback) callback(0, 0, static_cast<std::int64_t>(total), cancel, 1, 0);
    const std::uint64_t chunk = WriteChunkSize(total);
    while (position < total && !cancel) {
      std::uint64_t piece = std::min(total - position, chunk);
      std::uint64_t written = WriteBytes(file.get(), text.data() + position, piece);
      position += written;
      if (callback) callback(0, 0, static_cast<std::int64_t>(total), cancel, 1, static_cast<std::int64_t>(position));
      if (written == 0) break;
    }
  } else if (total > 0) {
    position = WriteBytes(file.get(), text.data(), total);
  }
  if (position == total && fileDate != 0) SetDosFileDate(file.get(), fileDate);
  return position == total;
}

bool AppendTextFile(const std::string& path, const std::string& text, std::uint32_t fileDate) {
  // Append-only access: every write lands at the end of the file even while another
  // process (the agent and its working copy share a log) appends to it. Appenders also
  // take turns through a lock on one byte far past any end, since not every system (Wine)
  // makes an append-only write atomic; the lock needs read access.
  const DWORD access = FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE | (fileDate != 0 ? FILE_WRITE_ATTRIBUTES : 0);
  UniqueHandle file(CreateFileA(path.c_str(), access, kShareAll | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  OVERLAPPED turn{};
  turn.Offset = 0xFFFFFFFE;
  turn.OffsetHigh = 0x7FFFFFFF;
  const bool locked = LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != FALSE;
  std::uint64_t written = text.empty() ? 0 : WriteBytes(file.get(), text.data(), text.size());
  if (locked) UnlockFileEx(file.get(), 0, 1, 0, &turn);
  if (fileDate != 0) SetDosFileDate(file.get(), fileDate);
  return written == text.size();
}

double DiskFree(const std::string& path) {
  // Looked up once: the extended query is missing on the oldest systems.
  static const auto freeSpaceEx = Z_KERNEL_PROC(GetDiskFreeSpaceExA);
  const std::string query = DiskFreeQueryPath(path);
  if (query.empty()) return 0;
  const std::string root = DriveRootOf(query);
  if (freeSpaceEx) {
    ULARGE_INTEGER available, total, free;
    if (freeSpaceEx(query.c_str(), &available, &total, &free) || freeSpaceEx(root.c_str(), &available, &total, &free))
      return static_cast<double>(available.QuadPart);
    return 0;
  }
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) return 0;
  return static_cast<double>(sectorsPerCluster) * bytesPerSector * freeClusters;
}

std::string FindFileInTree(const std::string& folder, const std::string& fileName) {
  if (folder.empty() || fileName.empty()) return "";
  return SearchTree(folder, fileName, FileIsIn, false);
}

std::string FindFolderInTree(const std::string& folder, const std::string& folderName) {
  if (folder.empty() || folderName.empty()) return "";
  return SearchTree(folder, folderName, FolderEndsWith, true);
}

std::string FindFileOnDrives(const std::string& fileName, UINT driveType) {
  return SearchDrives(fileName, driveType, false);
}

std::string FindFolderOnDrives(const std::string& folderName, UINT driveType) {
  if (folderName.size() >= 3 && folderName.compare(1, 2, ":\\") == 0) {
    const std::string root = DriveRootOf(folderName);
    if (GetDriveTypeA(root.c_str()) == driveType && FolderExists(folderName)) return folderName;
    return "";
  }
  return SearchDrives(folderName, driveType, true);
}

bool DeleteFiles(const std::string& pattern, bool clearAttributes) {
  if (pattern.empty()) return false;
  const std::string folder = ExtractFilePath(pattern);
  bool matched = false;
  WIN32_FIND_DATAA data;
  UniqueFindHandle find(FindFirstFileA(pattern.c_str(), &data));
  if (!find) return false;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    matched = true;
    const std::string path = folder + data.cFileName;
    if (clearAttributes) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  } while (FindNextFileA(find.get(), &data));
  return matched;
}

// Removes a junction or other link to a folder, never what it points to.
static void RemoveLink(const std::string& link) {
  if (RemoveDirectoryA(link.c_str())) return;
  // Opened as the link itself, deleted when closed.
  UniqueHandle handle(CreateFileA(
      link.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

bool DeleteTree(const std::string& folder, bool clearAttributes) {
  // A whole drive or share is never a tree of ours to delete.
  if (folder.empty() || IsRootPath(folder) || IsRootPath(FullPathOf(folder))) return false;
  const std::string base = RemoveTrailingBackslash(folder);
  const bool existed = FolderExists(base);
  const DWORD attributes = GetFileAttributesA(base.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // A junction or link planted at our name: remove the link, never what it points to.
    RemoveLink(base);
    return existed && !FolderExists(base);
  }
  DeleteFiles(base + "\\*.*", clearAttributes);
  {
    WIN32_FIND_DATAA data;
    UniqueFindHandle find(FindFirstFileA((base + "\\*.*").c_str(), &data));
    if (find) {
      do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDots(data.cFileName)) continue;
        const std::string sub = base + "\\" + data.cFileName;
        // A junction is removed as a link; what it points to is not ours to delete.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          RemoveLink(sub);
          continue;
        }
        DeleteTree(sub, clearAttributes);
        RemoveDirectoryA(sub.c_str());
      } while (FindNextFileA(find.get(), &data));
    }
  }
  ReleaseHeld(base);
  RemoveDirectoryA(base.c_str());
  return existed && !FolderExists(base);
}

bool HoldPath(const std::string& path, UniqueHandle handle) {
  if (!handle) return false;
  for (HeldPath& h : state.held)
    if (!h.handle) {
      h.path = path;
      h.handle = std::move(handle);
      return true;
    }
  return false;
}

void ReleaseHeld(const std::string& path) {
  const std::string below = SetTrailingBackslash(path, true);
  for (HeldPath& h : state.held)
    if (SameText(h.path, path) || StartsWith(below, h.path, true)) h.handle.reset();
}

UniqueHandle OpenForReading(const std::string& path) {
  for (const HeldPath& h : state.held)
    if (h.handle && SameText(h.path, path))
      // A file object of its own (its own position), on the very file that was held.
      return UniqueHandle(ReOpenFile(h.handle.get(), GENERIC_READ, FILE_SHARE_READ, 0));
  return UniqueHandle(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool HoldOwnFile() {
  return HoldPath(ProgramPath(), OpenDenyingWrites(ProgramPath()));
}

UniqueHandle OpenDenyingWrites(const std::string& path) {
  return UniqueHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ClearReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return true;
  return SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
}

namespace {

// Registers path (a file, or an empty folder) for deletion when the system restarts:
// only administrators may. Once per path: the working copy ends many times between two
// restarts, and the system's list would grow by an entry each time.
void RemoveAtRestart(const std::string& path) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_QUERY_VALUE, &opened) == ERROR_SUCCESS) {
    UniqueHKey key(opened);
    DWORD size = 0;
    std::string listed;
    if (RegQueryValueExA(key.get(), kPendingRenameValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size <= kPendingRenameReadMax) {
      listed.resize(size);
      if (RegQueryValueExA(key.get(), kPendingRenameValue, nullptr, nullptr,
                           reinterpret_cast<BYTE*>(&listed[0]), &size) != ERROR_SUCCESS)
        size = 0;
      listed.resize(size);
    }
    if (PendingDeleteListed(listed, path)) return;
  }
  if (!MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
    Output() << "DeleteMySelf: " << path << " not registered for removal at restart: " << GetLastError()
             << EndLine;
}

}  // namespace

void DeleteMySelf(bool removeFolder) {
  char own[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  // The batch repeats its delete until it succeeds: a read-only file would keep it
  // spinning for ever.
  ClearReadOnly(own);
  if (ProcessIsElevated()) {
    // A batch in the user's Temp could be rewritten while it waits, and cmd would run the
    // new lines (and the user's own AutoRun command) as administrator: an elevated process
    // runs nothing from there. The system removes the file at the next restart; a working
    // copy is written anew by every start of its agent meanwhile.
    RemoveAtRestart(own);
    if (removeFolder) RemoveAtRestart(ExtractFileDir(own));
    return;
  }
  // Not elevated, the batch runs with the rights of the user who could write it anyway.
  const std::string batch = TempFolder(true) + kSelfDeleteBatchName;
  const std::string text = SelfDeleteBatchText(own, batch, removeFolder);
  // Our own folder must not be the current directory, or it could not be removed.
  SetCurrentDirectoryA(TempFolder(false).c_str());
  if (!WriteTextFile(batch, text)) return;
  // Quoted, so that a blank in the temporary folder's path cannot start another program.
  WinExec(("\"" + batch + "\"").c_str(), SW_HIDE);
}

std::string FinalPathOf(const std::string& path) {
  UniqueHandle handle(CreateFileA(path.c_str(), 0, kShareAll | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  char buffer[MAX_PATH * 2];
  const DWORD n = handle ? GetFinalPathNameByHandleA(handle.get(), buffer, sizeof buffer,
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                         : 0;
  if (n == 0 || n >= sizeof buffer) return path;
  return WithoutLongPathPrefix(std::string(buffer, n));
}

bool EjectCD(const std::string& path) {
  try {
    if (path.empty()) return false;
    const char letter = UpperAscii(path[0]);
    if (letter < 'A' || letter > 'Z') return false;
    const std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) != DRIVE_CDROM) return false;
    const std::string device = std::string("\\\\.\\") + letter + ":";
    UniqueHandle drive(
        CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    Output() << "EjectCD-2: " << device << " " << reinterpret_cast<std::intptr_t>(drive.get()) << EndLine;
    if (!drive) {
      drive.reset(CreateFileA(device.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
      Output() << "EjectCD-3: " << device << " " << reinterpret_cast<std::intptr_t>(drive.get()) << EndLine;
    }
    if (!drive) return false;
    DWORD returned = 0;
    return DeviceIoControl(drive.get(), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0, &returned, nullptr) != 0;
  } catch (const std::exception& e) {
    TraceException(e, "EjectCD", path);
    return false;
  }
}
