// Problems found in a publisher's input (project file, language files), each with the file and
// line it concerns, collected so that one run of the pack tool reports all of them at once.
#pragma once
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace halberd::pack {

struct Diagnostic {
  enum class Severity { kError, kWarning };
  Severity severity = Severity::kError;
  std::string file;  // as the publisher named it; may be empty
  int line = 0;      // 1-based; 0 when the problem concerns no single line
  std::string message;
};

class Diagnostics {
 public:
  void Error(const std::string& file, int line, std::string message) {
    list_.push_back({Diagnostic::Severity::kError, file, line, std::move(message)});
  }
  void Warning(const std::string& file, int line, std::string message) {
    list_.push_back({Diagnostic::Severity::kWarning, file, line, std::move(message)});
  }
  bool HasErrors() const {
    for (const Diagnostic& d : list_)
      if (d.severity == Diagnostic::Severity::kError) return true;
    return false;
  }
  const std::vector<Diagnostic>& list() const { return list_; }
  // By file and line, each problem once (a repeated option can raise the same one again).
  std::vector<Diagnostic> Sorted() const {
    std::vector<Diagnostic> out = list_;
    auto key = [](const Diagnostic& d) { return std::tie(d.file, d.line, d.message); };
    std::stable_sort(out.begin(), out.end(), [&](const Diagnostic& a, const Diagnostic& b) {
      return std::tie(a.file, a.line) < std::tie(b.file, b.line);
    });
    out.erase(std::unique(out.begin(), out.end(), [&](const Diagnostic& a, const Diagnostic& b) { return key(a) == key(b); }),
              out.end());
    return out;
  }

 private:
  std::vector<Diagnostic> list_;
};

// "file:line: reason" (or "file: reason"); warnings say so.
inline std::string FormatDiagnostic(const Diagnostic& d) {
  std::string out = d.file;
  if (d.line > 0) out += ":" + std::to_string(d.line);
  if (!out.empty()) out += ": ";
  if (d.severity == Diagnostic::Severity::kWarning) out += "warning: ";
  return out + d.message;
}

}  // namespace halberd::pack
