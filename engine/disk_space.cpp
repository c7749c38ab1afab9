#include "engine/disk_space.h"

namespace halberd::engine {

uint64_t DiskSpaceNeeded(const std::vector<int32_t>& file_sizes, uint32_t cluster_size, uint64_t uninstaller_size,
                         uint64_t extra_space) {
  if (cluster_size == 0) cluster_size = kDefaultClusterSize;
  uint64_t total = 0;
  for (int32_t size : file_sizes)
    if (size > 0) total += (uint64_t(size) + cluster_size - 1) / cluster_size * cluster_size;
  return total + uninstaller_size + extra_space;
}

}  // namespace halberd::engine
