#pragma once
// File operations of the stub on byte strings: partial reads, chunked writes with
// progress, appends, free disk space, tree searches, deletes, CD eject, and the removal
// of the stub's own executable after it has ended. Nothing here throws; failures show
// as an empty text, false or 0.
#include <windows.h>

#include <cstdint>
#include <string>

#include "system/WinHandles.h"

// Progress of WriteTextFile: kind (0, writing a file), 0, total bytes, cancel flag (set
// non-zero to stop the write), 1, bytes written so far.
using WriteProgressCallback = void (*)(int kind, int reserved, std::int64_t total, std::uint8_t& cancel, int one,
                                       std::int64_t position);

// An existing file (not a folder) / an existing folder.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// Moves the file pointer (origin 0 start, 1 current, 2 end); the new position, -1 on failure.
std::int64_t Seek(HANDLE file, int origin, std::int64_t offset);
// Size of an open file; 0 on failure.
std::int64_t FileSize(HANDLE file);
// Size found by a directory search for path (any attributes); 0 when not found.
std::int64_t FileSizeByName(const std::string& path);

// Up to maxLength bytes (0: all) from offset; empty when the file is missing, the offset
// lies outside the file or fewer bytes than asked arrive.
std::string ReadFilePart(const std::string& path, std::int64_t maxLength = 0, std::int64_t offset = 0);
// Creates (or with append extends) the file with text; large texts and writes with a
// callback go in chunks. fileDate (DOS date and time, 0 = keep) is set when all was
// written. True when every byte was written.
bool WriteTextFile(const std::string& path, const std::string& text, std::uint32_t fileDate = 0, bool append = false,
                   WriteProgressCallback callback = nullptr);
// Appends text (creating the file); true when every byte was written.
bool AppendTextFile(const std::string& path, const std::string& text, std::uint32_t fileDate = 0);

// Bytes free to the caller on the drive of path; 0 on any failure.
double DiskFree(const std::string& path);

// Depth-first search below folder; the first hit wins; empty when none.
std::string FindFileInTree(const std::string& folder, const std::string& fileName);
std::string FindFolderInTree(const std::string& folder, const std::string& folderName);
// The tree search on the root of every drive C: to Z: of driveType (3 fixed, 5 CD-ROM ...).
std::string FindFileOnDrives(const std::string& fileName, UINT driveType);
// A full path is its own answer when its drive has driveType and the folder exists.
std::string FindFolderOnDrives(const std::string& folderName, UINT driveType);

// Deletes every file matching pattern, hidden and system ones included; clearAttributes
// makes read-only files deletable. True when at least one file matched.
bool DeleteFiles(const std::string& pattern, bool clearAttributes);
// Deletes folder with everything in it. True only when it existed and is gone. A junction
// or other reparse point (the folder itself or one inside it) is removed as a link: the
// tree it points to is left alone.
bool DeleteTree(const std::string& folder, bool clearAttributes);

// Opens an existing file for reading and shares it for reading only: while the handle
// lives nobody can write, rename or delete the file, so what is checked through its name
// is what is used. Invalid when the file cannot be opened so.
UniqueHandle OpenDenyingWrites(const std::string& path);

// Files and folders held open for the process, so that what was checked stays what is
// used. A held file is shared for reading only: nobody can write, rename or delete it,
// and OpenForReading reads it through the held handle whatever lies at its name now. A
// held folder cannot be removed or renamed. DeleteTree lets go of what it deletes.
// False (and the handle closed) when the handle is invalid or the table is full: then the
// path is not held, and a caller that needs it held refuses.
bool HoldPath(const std::string& path, UniqueHandle handle);
// Lets go of path and of everything held below it.
void ReleaseHeld(const std::string& path);
// A new handle for reading path: a reopening of the held handle (ReOpenFile) when the path
// is held, else the file opened by name, shared for reading and writing. Invalid when
// neither works.
UniqueHandle OpenForReading(const std::string& path);
// Holds the own executable (ProgramPath) for the process; false when it cannot be opened so.
bool HoldOwnFile();

// Takes the read-only attribute off an existing file; true when it is writable now.
bool ClearReadOnly(const std::string& path);

// Removes this executable once the process has ended (and with removeFolder its folder
// when empty). Not elevated: a batch in the user's Temp that loops until the file can be
// deleted and then deletes itself. Elevated: nothing is run; the system deletes them at
// its next restart (MOVEFILE_DELAY_UNTIL_REBOOT, registered once per path).
void DeleteMySelf(bool removeFolder);

// The path the system opens for path (GetFinalPathNameByHandle on a handle of the file or
// folder): one spelling for "/" or "\", doubled separators, 8.3 names, any case of the
// letters and another drive letter (SUBST) or share for the same folder. Without the
// "\\?\" prefix ("\\?\UNC\" becomes "\\"). The path itself when it cannot be opened.
std::string FinalPathOf(const std::string& path);

// Ejects the medium of the CD-ROM drive of path; false for any other drive.
bool EjectCD(const std::string& path);
