// Reproducible installers: with SOURCE_DATE_EPOCH, file times later than it are recorded as it, so
// two copies of the demo product made at different times pack to byte-identical installers; an
// earlier time is kept as it is.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "pack/installer_writer.h"
#include "pack/payload.h"
#include "pack/source_date_epoch.h"

using namespace halberd;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kEpoch = 1700000000;  // 2023-11-14 22:13:20 UTC

// Sets SOURCE_DATE_EPOCH for one scope; unset again after it.
class EpochScope {
 public:
  explicit EpochScope(const char* value) {
    if (value) setenv("SOURCE_DATE_EPOCH", value, 1);
    else unsetenv("SOURCE_DATE_EPOCH");
  }
  ~EpochScope() { unsetenv("SOURCE_DATE_EPOCH"); }
};

void SetTimes(const fs::path& root, fs::file_time_type time) {
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) fs::last_write_time(e.path(), time);
}

fs::file_time_type At(int64_t seconds) {
  auto sys = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
  return fs::file_time_type::clock::from_sys(std::chrono::time_point_cast<fs::file_time_type::clock::duration>(sys));
}

}  // namespace

TEST(ReproduciblePack, LaterFileTimesAreClampedToSourceDateEpoch) {
  fs::path file = fs::temp_directory_path() / ("halberd-epoch-" + std::to_string(std::random_device{}()));
  { std::ofstream(file) << "x"; }
  struct Case {
    const char* what;
    const char* epoch;
    int64_t file_time;
    std::array<int32_t, 6> recorded;
  };
  const Case cases[] = {
      {"later than the epoch", "1700000000", kEpoch + 86400 * 400, {2023, 11, 14, 22, 13, 20}},
      {"one second later", "1700000000", kEpoch + 1, {2023, 11, 14, 22, 13, 20}},
      {"the epoch itself", "1700000000", kEpoch, {2023, 11, 14, 22, 13, 20}},
      {"earlier: kept", "1700000000", kEpoch - 3600, {2023, 11, 14, 21, 13, 20}},
      {"no epoch: the file's time", nullptr, kEpoch + 86400, {2023, 11, 15, 22, 13, 20}},
  };
  for (const Case& c : cases) {
    EpochScope epoch(c.epoch);
    fs::last_write_time(file, At(c.file_time));
    EXPECT_EQ(pack::FileModificationTime(file), c.recorded) << c.what;
  }
  bool valid = true;
  EpochScope bad("17e8");
  EXPECT_FALSE(pack::SourceDateEpoch(&valid));
  EXPECT_FALSE(valid);
  fs::remove(file);
}

TEST(ReproduciblePack, TwoCopiesMadeAtDifferentTimesGiveTheSameInstaller) {
  const fs::path tool = fs::read_symlink("/proc/self/exe").parent_path() / "halberd-pack";
  const fs::path stub = HALBERD_SOURCE_DIR "/build/win32/bin/halberd-setup.exe";
  if (!fs::exists(stub)) GTEST_SKIP() << "the Windows stub is not built";
  if (!fs::exists(tool)) GTEST_SKIP() << "halberd-pack is not built";
  const fs::path dir = fs::temp_directory_path() / ("halberd-reproducible-" + std::to_string(std::random_device{}()));
  const fs::path a = dir / "first" / "demo", b = dir / "second" / "demo";
  for (const fs::path& copy : {a, b}) {
    fs::create_directories(copy.parent_path());
    fs::copy(HALBERD_SOURCE_DIR "/examples/demo", copy, fs::copy_options::recursive);
  }
  SetTimes(a, At(kEpoch + 86400 * 30));
  SetTimes(b, At(kEpoch + 86400 * 90 + 1234));

  auto pack_both = [&](const char* epoch) {
    EpochScope scope(epoch);
    std::vector<format::Bytes> out;
    for (const fs::path& copy : {a, b}) {
      const fs::path exe = copy.parent_path() / "setup.exe";
      const std::string command = tool.string() + " " + (copy / "product.toml").string() + " -o " + exe.string() +
                                  " --stub " + stub.string() + " >/dev/null";
      EXPECT_EQ(std::system(command.c_str()), 0) << command;
      format::Bytes bytes;
      std::string error;
      EXPECT_TRUE(pack::ReadWholeFile(exe.string(), bytes, error)) << error;
      out.push_back(std::move(bytes));
    }
    return out;
  };
  auto clamped = pack_both("1700000000");
  ASSERT_FALSE(clamped[0].empty());
  EXPECT_TRUE(clamped[0] == clamped[1]) << "the two copies packed to different installers";
  // Without the epoch the copies' times differ, and so do the installers.
  auto unclamped = pack_both(nullptr);
  EXPECT_FALSE(unclamped[0] == unclamped[1]);
  std::error_code ec;
  fs::remove_all(dir, ec);
}
