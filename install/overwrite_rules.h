// Whether a file entry is written over what is already at its target: the overwrite mode first
// (flags bits 2-4), then, for modes 0, 6 and 7, the comparison its kind asks for. Portable: the
// caller reads the existing file's time and version resource.
//
//   mode      rule
//   0, 6, 7   the kind's comparison: kinds 1 and 4 by date; kinds 6 to 9 by version, then by date;
//             every other kind is written
//   1, 5      passed over: no write, no log line, no record
//   2         only when the target exists
//   3         only when the target is missing
//   4         unless the existing file is later than the entry (either time missing: written)
//
// A file kept by mode 3 or 4, or by its kind's comparison, is still recorded for removal when its
// kind is recorded and it is not permanent: it is the product's file, left as it was.
#pragma once
#include <optional>
#include <string>

#include "foundation/date_time.h"

namespace halberd::install {

struct ExistingTarget {
  bool exists = false;
  std::optional<DateTime> time;         // last-write time, when it could be read
  std::optional<std::string> version;   // "a.b.c.d" of its version resource, when it has one
};

struct OverwriteDecision {
  bool write = false;
  bool record = false;     // record the file for removal (written, or kept with the rules above)
  bool compared = false;   // the target existed and the kind's comparison looked at it
  std::string log_line;    // after the target path in the running log; empty: no line
};

// Kinds whose files are recorded for removal (a kind-1 file only in a portable installation).
bool IsRecordedKind(int kind, bool portable);

// A file entry's time counts only with both a date and a time of day.
inline bool HasFullTime(const DateTime& t) { return t.HasDate() && t.HasTime(); }

// `version` is the entry's version text (kinds 6 to 9; empty: none).
OverwriteDecision DecideOverwrite(int mode, int kind, bool permanent, bool portable, const DateTime& entry_time,
                                  const std::string& version, const ExistingTarget& existing);

}  // namespace halberd::install
