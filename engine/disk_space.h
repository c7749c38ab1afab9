// Disk space an installation needs: each file rounded up to the target drive's cluster, plus the
// uninstaller image and the script's extra space, neither rounded.
#pragma once
#include <cstdint>
#include <vector>

namespace halberd::engine {

inline constexpr uint32_t kDefaultClusterSize = 4096;

uint64_t DiskSpaceNeeded(const std::vector<int32_t>& file_sizes, uint32_t cluster_size, uint64_t uninstaller_size,
                         uint64_t extra_space);

}  // namespace halberd::engine
