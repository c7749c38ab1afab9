// Small engine rules that decide outcomes: the signature classes that stop a run, the disk space
// an installation needs, and the exit code of a finished run.
#include <gtest/gtest.h>

#include "engine/disk_space.h"
#include "engine/run_state.h"
#include "engine/trust_classes.h"

using namespace halberd::engine;

// What a signature-check result does to the run: the corrupt code it stops with (1000 + the
// class of the documented table), or 0 when the run goes on. Results by their Windows names.
namespace {
int CorruptCodeOf(TrustClass c, uint32_t last_error) { return TrustFailureStopsRun(c, last_error) ? 1000 + int(c) : 0; }
}  // namespace

TEST(TrustClasses, WhichResultsStopTheRunWithWhichCode) {
  struct Case { const char* name; uint32_t result; int code; };
  const Case cases[] = {
      {"ERROR_SUCCESS", 0x00000000, 0},
      {"TRUST_E_NOSIGNATURE", 0x800B0100, 1001},
      {"TRUST_E_EXPLICIT_DISTRUST", 0x800B0111, 1002},
      {"TRUST_E_BAD_DIGEST", 0x80096010, 1003},
      {"TRUST_E_SUBJECT_NOT_TRUSTED", 0x800B0004, 1003},
      {"CERT_E_UNTRUSTEDROOT", 0x800B0109, 1003},
      {"CRYPT_E_SECURITY_SETTINGS", 0x80092026, 0},
      {"TRUST_E_SUBJECT_FORM_UNKNOWN", 0x800B0003, 0},
      {"CERT_E_REVOKED", 0x800B010C, 0},
      {"CERT_E_EXPIRED", 0x800B0101, 0},
      {"TRUST_E_TIME_STAMP", 0x80096005, 1012},
      {"TRUST_E_CERT_SIGNATURE", 0x80096004, 0},
      {"TRUST_E_PROVIDER_UNKNOWN", 0x800B0001, 1016},
      {"CERT_E_CHAINING", 0x800B010A, 0},
      {"E_FAIL (any other result)", 0x80004005, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(CorruptCodeOf(ClassifyTrustResult(c.result), 0), c.code) << c.name;
  // A chaining error left as the thread's last error lets even a missing signature pass.
  EXPECT_EQ(CorruptCodeOf(ClassifyTrustResult(0x800B0100), 0x800B010A), 0);
  EXPECT_EQ(CorruptCodeOf(ClassifyTrustResult(0x80096010), 0x800B010A), 0);
}

TEST(TrustClasses, AProgramFileThatCannotBeOpened) {
  // By the file layer's error code: not found (3) and locked (5) let the run go on, with classes 7
  // and 8; any other failure to read it stops the run with 1014.
  struct Case { int file_error; int code; int reported_class; };
  const Case cases[] = {{3, 0, 7}, {5, 0, 8}, {12, 1014, 14}, {1, 1014, 14}};
  for (const Case& c : cases) {
    EXPECT_EQ(CorruptCodeOf(ClassifyUnopenedFile(c.file_error), 0), c.code) << c.file_error;
    EXPECT_EQ(int(ClassifyUnopenedFile(c.file_error)), c.reported_class) << c.file_error;
  }
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
