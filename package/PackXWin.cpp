// The Windows side of the package reader: the file opened through the held handle, and
// the cluster size of a drive.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "package/PackX.h"
#include "system/Files.h"

std::FILE* OpenPackFile(const std::string& fileName) {
  UniqueHandle handle = OpenForReading(fileName);
  if (!handle) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_RDONLY | _O_BINARY);
  if (fd < 0) return nullptr;
  handle.release();  // the descriptor owns it now
  std::FILE* file = _fdopen(fd, "rb");
  if (!file) _close(fd);
  return file;
}

// Linked with SpaceNeeded: every program that extracts reads held files through their handle.
static const bool openerSet = (PackFileOpener = OpenPackFile, true);

std::uint32_t DriveClusterSize(const std::string& path) {
  std::string root = path.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (root.empty() ||
      !GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    return 0;
  return std::uint32_t(sectorsPerCluster) * std::uint32_t(bytesPerSector);
}

double TGFileInfo::SpaceNeeded(const std::string& path) const { return SpaceNeededForCluster(DriveClusterSize(path)); }
