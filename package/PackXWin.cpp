// The Windows side of the package reader: cluster size of a drive.
#include <windows.h>

#include "package/PackX.h"

std::uint32_t DriveClusterSize(const std::string& path) {
  std::string root = path.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (root.empty() ||
      !GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    return 0;
  return std::uint32_t(sectorsPerCluster) * std::uint32_t(bytesPerSector);
}

double TGFileInfo::SpaceNeeded(const std::string& path) const { return SpaceNeededForCluster(DriveClusterSize(path)); }
