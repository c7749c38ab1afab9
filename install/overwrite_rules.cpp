#include "install/overwrite_rules.h"

#include "foundation/version_compare.h"

namespace halberd::install {

bool IsRecordedKind(int kind, bool portable) {
  switch (kind) {
    case 0: case 5: case 9: case 10: case 11: case 12: return true;
    case 1: return portable;
    default: return false;
  }
}

namespace {

bool Later(const DateTime& a, const DateTime& b) { return CompareDateTime(a, b) > 0; }

// Kinds 6 to 9 against an existing target: the version, then the date.
void CompareVersionAndDate(const DateTime& entry_time, const std::string& version, const ExistingTarget& existing,
                           OverwriteDecision& d) {
  std::string reasons;
  if (!version.empty() && existing.version) {
    if (CompareVersions(version, *existing.version) <= 0) {
      d.write = false;
      d.log_line = " was not installed because its version (" + version + ") is not newer than " + *existing.version +
                   "\r\n";
      return;
    }
    reasons = "its version (" + version + ") is newer than " + *existing.version;
  }
  if (HasFullTime(entry_time) && existing.time && HasFullTime(*existing.time)) {
    const std::string entry_text = FormatDateTime(entry_time);
    const std::string existing_text = FormatDateTime(*existing.time);
    if (!Later(entry_time, *existing.time)) {
      d.write = false;
      d.log_line = " was not installed because its date (" + entry_text + ") is not newer than " + existing_text + ".\r\n";
      return;
    }
    if (!reasons.empty()) reasons += " and ";
    reasons += "its date (" + entry_text + ") is newer than " + existing_text;
  }
  d.write = true;
  d.log_line = reasons.empty() ? " is out of date and will be replaced.\r\n"
                               : " needs replacement because " + reasons + ".\r\n";
}

}  // namespace

OverwriteDecision DecideOverwrite(int mode, int kind, bool permanent, bool portable, const DateTime& entry_time,
                                  const std::string& version, const ExistingTarget& existing) {
  OverwriteDecision d;
  const bool recorded = IsRecordedKind(kind, portable) && !permanent;
  switch (mode) {
    case 1:
    case 5:
      return d;
    case 2:
      if (!existing.exists) {
        d.log_line = " was not installed because it does not already exist.\r\n";
        return d;
      }
      d.write = true;
      d.record = recorded;
      return d;
    case 3:
      d.record = recorded;
      if (existing.exists) {
        d.log_line = " was not installed because it already exists.\r\n";
        return d;
      }
      d.write = true;
      return d;
    case 4:
      d.record = recorded;
      d.write = !existing.exists || !HasFullTime(entry_time) || !existing.time || !HasFullTime(*existing.time) ||
                !Later(*existing.time, entry_time);
      if (!d.write) d.log_line = " was not installed because the existing file is newer.\r\n";
      return d;
    default:
      break;
  }
  // Modes 0, 6 and 7: the kind's comparison.
  d.record = recorded;
  d.write = true;
  if (!existing.exists) return d;
  if (kind == 1 || kind == 4) {
    d.compared = true;
    if (HasFullTime(entry_time) && existing.time && HasFullTime(*existing.time) && !Later(entry_time, *existing.time)) {
      d.write = false;
      d.log_line = " is up to date.\r\n";
    }
  } else if (kind >= 6 && kind <= 9) {
    d.compared = true;
    CompareVersionAndDate(entry_time, version, existing, d);
  }
  return d;
}

}  // namespace halberd::install
