#pragma once
// The parts of the file routines that need no operating system: the self-deletion batch
// text, the chunk size of large writes and the paths asked for free space.
#include <cstdint>
#include <string>

constexpr const char kSelfDeleteBatchName[] = "_DEL_ME_.BAT";
// Texts longer than this are written in chunks even without a progress callback.
constexpr std::uint64_t kWriteChunkThreshold = 1048576;

// The batch that deletes exePath once its process has ended (looping until the delete
// succeeds), removes the exe's folder with removeFolder, and finally deletes itself.
// Every line ends with CR LF; paths are quoted.
std::string SelfDeleteBatchText(const std::string& exePath, const std::string& batchPath, bool removeFolder);

// The system's list of renames and deletions due at its next restart (a registry value of
// strings ending in 0x00: source, then target, empty for a deletion; sources in the
// "\??\" form), and the most of it read to look for an entry.
constexpr const char kPendingRenameValue[] = "PendingFileRenameOperations";
constexpr unsigned long kPendingRenameReadMax = 1048576;
// Whether the list already holds the deletion of path (compared without case).
bool PendingDeleteListed(const std::string& list, const std::string& path);

// "\\?\C:\x" -> "C:\x", "\\?\UNC\server\share" -> "\\server\share"; others unchanged.
std::string WithoutLongPathPrefix(const std::string& path);

// Chunk size for a write of total bytes: a tenth of the text when that is above 1024
// (at most 1 MiB), else min(1024, total).
std::uint64_t WriteChunkSize(std::uint64_t total);

// "/" becomes "\", then the path is cut to its first two levels ('C:\Temp\Setup' ->
// 'C:\Temp'); paths shorter than 3 characters give the drive root; empty stays empty.
std::string DiskFreeQueryPath(const std::string& path);
// The first letter in upper case followed by ":\"; empty for an empty path.
std::string DriveRootOf(const std::string& path);

// Whether path names no folder of its own but a whole drive or share: empty, "\",
// "C:", "C:\", "\\server", "\\server\share", "\\?\C:\", "\\?\UNC\server\share"
// (either slash, trailing separators ignored). Give it a full path: a relative one is
// judged as written.
bool IsRootPath(const std::string& path);
