// Sorting the result of the signature check of the program file into the classes the corrupt
// code reports (1000 + class), and which of them stop the run.
#pragma once
#include <cstdint>

namespace halberd::engine {

enum TrustClass : int {
  kTrustValid = 0,
  kTrustNoSignature = 1,
  kTrustExplicitDistrust = 2,
  kTrustBadSignature = 3,      // bad digest, subject not trusted, untrusted root
  kTrustSecuritySettings = 4,
  kTrustProviderMissing = 5,
  kTrustOther = 6,
  kTrustFileNotFound = 7,
  kTrustFileLocked = 8,
  kTrustSubjectFormUnknown = 9,
  kTrustRevoked = 10,
  kTrustExpired = 11,
  kTrustTimeStamp = 12,
  kTrustCertSignature = 13,
  kTrustFileUnreadable = 14,
  kTrustProviderCrashed = 15,
  kTrustProviderUnknown = 16,
  kTrustChaining = 17,
};

// The class of a WinVerifyTrust result (an HRESULT-style value).
TrustClass ClassifyTrustResult(uint32_t result);

// The class when the program file could not be opened, by the file layer's error code.
TrustClass ClassifyUnopenedFile(int file_error);

bool IsFatalTrustClass(TrustClass c);

// Whether the outcome stops the run: a fatal class, unless the thread's last error is
// CERT_E_CHAINING, which is tolerated.
bool TrustFailureStopsRun(TrustClass c, uint32_t last_error);

inline constexpr uint32_t kCertChaining = 0x800B010A;

}  // namespace halberd::engine
