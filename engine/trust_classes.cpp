#include "engine/trust_classes.h"

namespace halberd::engine {

TrustClass ClassifyTrustResult(uint32_t r) {
  switch (r) {
    case 0: return kTrustValid;
    case 0x800B0100: return kTrustNoSignature;       // TRUST_E_NOSIGNATURE
    case 0x800B0111: return kTrustExplicitDistrust;  // TRUST_E_EXPLICIT_DISTRUST
    case 0x80096010:                                 // TRUST_E_BAD_DIGEST
    case 0x800B0004:                                 // TRUST_E_SUBJECT_NOT_TRUSTED
    case 0x800B0109: return kTrustBadSignature;      // CERT_E_UNTRUSTEDROOT
    case 0x80092026: return kTrustSecuritySettings;  // CRYPT_E_SECURITY_SETTINGS
    case 0x800B0003: return kTrustSubjectFormUnknown;  // TRUST_E_SUBJECT_FORM_UNKNOWN
    case 0x800B010C: return kTrustRevoked;           // CERT_E_REVOKED
    case 0x800B0101: return kTrustExpired;           // CERT_E_EXPIRED
    case 0x80096005: return kTrustTimeStamp;         // TRUST_E_TIME_STAMP
    case 0x80096004: return kTrustCertSignature;     // TRUST_E_CERT_SIGNATURE
    case 0x800B0001: return kTrustProviderUnknown;   // TRUST_E_PROVIDER_UNKNOWN
    case kCertChaining: return kTrustChaining;
    default: return kTrustOther;
  }
}

TrustClass ClassifyUnopenedFile(int file_error) {
  switch (file_error) {
    case 3: return kTrustFileNotFound;  // the file was not found
    case 5: return kTrustFileLocked;    // locked by another application
    default: return kTrustFileUnreadable;
  }
}

bool IsFatalTrustClass(TrustClass c) {
  switch (c) {
    case kTrustNoSignature:
    case kTrustExplicitDistrust:
    case kTrustBadSignature:
    case kTrustTimeStamp:
    case kTrustFileUnreadable:
    case kTrustProviderCrashed:
    case kTrustProviderUnknown:
      return true;
    default:
      return false;
  }
}

bool TrustFailureStopsRun(TrustClass c, uint32_t last_error) {
  return IsFatalTrustClass(c) && last_error != kCertChaining;
}

}  // namespace halberd::engine
