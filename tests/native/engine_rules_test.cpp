// Small engine rules that decide outcomes: the signature classes that stop a run, the disk space
// an installation needs, and the exit code of a finished run.
#include <gtest/gtest.h>

#include "engine/disk_space.h"
#include "engine/run_state.h"
#include "engine/trust_classes.h"

using namespace halberd::engine;

TEST(TrustClasses, ResultsAndWhetherTheyStopTheRun) {
  struct Case { uint32_t result; TrustClass cls; bool stops; };
  const Case cases[] = {
      {0, kTrustValid, false},
      {0x800B0100, kTrustNoSignature, true},
      {0x800B0111, kTrustExplicitDistrust, true},
      {0x80096010, kTrustBadSignature, true},
      {0x800B0004, kTrustBadSignature, true},
      {0x800B0109, kTrustBadSignature, true},
      {0x80092026, kTrustSecuritySettings, false},
      {0x800B0003, kTrustSubjectFormUnknown, false},
      {0x800B010C, kTrustRevoked, false},
      {0x800B0101, kTrustExpired, false},
      {0x80096005, kTrustTimeStamp, true},
      {0x80096004, kTrustCertSignature, false},
      {0x800B0001, kTrustProviderUnknown, true},
      {0x800B010A, kTrustChaining, false},
      {0x12345678, kTrustOther, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyTrustResult(c.result), c.cls) << std::hex << c.result;
    EXPECT_EQ(TrustFailureStopsRun(c.cls, 0), c.stops) << std::hex << c.result;
  }
  // A chaining error left as the thread's last error is tolerated even for a fatal class.
  EXPECT_FALSE(TrustFailureStopsRun(kTrustNoSignature, kCertChaining));
  EXPECT_EQ(ClassifyUnopenedFile(3), kTrustFileNotFound);
  EXPECT_EQ(ClassifyUnopenedFile(5), kTrustFileLocked);
  EXPECT_TRUE(TrustFailureStopsRun(ClassifyUnopenedFile(12), 0));
  EXPECT_FALSE(TrustFailureStopsRun(ClassifyUnopenedFile(5), 0));
}

TEST(DiskSpace, FilesRoundToClustersTheRestDoesNot) {
  // 0 bytes take no cluster, 1 byte and 4096 bytes one, 4097 bytes two.
  EXPECT_EQ(DiskSpaceNeeded({0, 1, 4096, 4097}, 4096, 1000, 7), 4u * 4096 + 1000 + 7);
  EXPECT_EQ(DiskSpaceNeeded({1}, 0, 0, 0), uint64_t(kDefaultClusterSize));
  EXPECT_EQ(DiskSpaceNeeded({0x73333333, 0x73333333}, 65536, 0, uint64_t(1) << 33),
            2 * ((uint64_t(0x73333333) + 65535) / 65536 * 65536) + (uint64_t(1) << 33));
}

TEST(RunState, FinishedExitCode) {
  RunState run;
  EXPECT_EQ(FinishedExitCode(run), 0);
  run.disk_full = true;
  EXPECT_EQ(FinishedExitCode(run), 17);
  run.set_restart_required();
  EXPECT_EQ(FinishedExitCode(run), 16);  // a pending restart outranks the full disk
}
