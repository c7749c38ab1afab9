#include "engine/install_log.h"

#include <cstdio>

#include "foundation/format/product_flags.h"
#include "foundation/path_rules.h"
#include "foundation/text_convert.h"

namespace halberd::engine {

namespace {
std::string TwoDigits(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

std::string FourDigits(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d", n);
  return buffer;
}

void Line(std::string& out, std::string_view label, std::string_view value) {
  out.append(label);
  out.append(value);
  out.append("\r\n");
}
}  // namespace

std::u16string InstallLogPath(std::u16string_view install_folder, std::u16string_view uninstall_subdir) {
  std::u16string relative =
      uninstall_subdir.empty() ? std::u16string(kInstallLogName) : JoinPath(uninstall_subdir, kInstallLogName);
  return ResolveRelativePath(install_folder, relative);
}

std::string FormatInstallDate(const LogClock& t) {
  return FourDigits(t.year) + "/" + TwoDigits(t.month) + "/" + TwoDigits(t.day) + " " + TwoDigits(t.hour) + ":" +
         TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::u16string FormatBuildDate(int year, int month, int day) {
  if (month == 0) return {};
  std::string text = FourDigits(year) + "/" + TwoDigits(month) + "/" + TwoDigits(day);
  return std::u16string(text.begin(), text.end());
}

std::string FormatInstallLogHeader(const InstallLogHeader& h) {
  std::string out;
  Line(out, "Installation log for: ", Utf16ToUtf8(h.display_name));
  Line(out, "Install date: ", FormatInstallDate(h.install_date));
  if (h.with_install_type) Line(out, "Install type: ", Utf16ToUtf8(h.install_type));
  Line(out, "Install location: ", Utf16ToUtf8(h.install_location));
  Line(out, "Installer version: ", h.installer_version);
  if (h.build_month != 0) Line(out, "Installer built: ", Utf16ToUtf8(h.build_date));
  if (!h.product_version.empty()) Line(out, "Product version: ", Utf16ToUtf8(h.product_version));
  if (!h.overwriting_version.empty()) Line(out, "Overwriting version: ", Utf16ToUtf8(h.overwriting_version));
  Line(out, "Operating system: ", h.operating_system);
  out.append("\r\n");
  return out;
}

std::string_view RecordStart(int64_t existing_size) {
  return existing_size > 0 ? kRecordSeparator : kUtf8ByteOrderMark;
}

bool IsWellFormedUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;   // overlong
      if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;   // overlong
      if (c == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    unsigned char second = static_cast<unsigned char>(text[i + 1]);
    if (second < low || second > high) return false;
    for (size_t k = 2; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if (next < 0x80 || next > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

std::optional<std::string> Utf8LogContent(std::string_view content,
                                          const std::function<std::string(std::string_view)>& legacy_to_utf8) {
  if (content.empty() || content.starts_with(kUtf8ByteOrderMark)) return std::nullopt;
  std::string out(kUtf8ByteOrderMark);
  out.append(IsWellFormedUtf8(content) ? std::string(content) : legacy_to_utf8(content));
  return out;
}

std::string RecordEnd(std::string_view failure_text, std::string_view success_text) {
  std::string out = "\r\n";
  if (!failure_text.empty()) {
    out.append(kFailureSummaryLine);
    out.append(failure_text);
  } else {
    out.append(success_text);
    out.append("\r\n");
  }
  return out;
}

Outcome DecideOutcome(bool failures, bool automatic, bool restart_required, bool summary_has_choices,
                      uint64_t& product_flags) {
  if (automatic) return Outcome::kNothing;
  if (failures) return Outcome::kFailureQuestion;
  if (product_flags & format::kFlagNoCompletionMessage) return Outcome::kNothing;
  if (!(product_flags & format::kFlagAlwaysWriteLog)) product_flags &= ~format::kFlagOfferLog;
  bool offers_log = (product_flags & format::kFlagOfferLog) != 0;
  if ((!summary_has_choices && !offers_log) || restart_required) return Outcome::kSuccessMessage;
  return Outcome::kSummaryPage;
}

RestartDecision DecideRestart(bool restart_required, bool automatic, uint64_t product_flags) {
  if (!restart_required) return RestartDecision::kNone;
  if (automatic && !(product_flags & format::kFlagRestartQuestionWhenAutomatic)) return RestartDecision::kAgreed;
  return RestartDecision::kAsk;
}

std::u16string FillInLogPath(std::u16string_view text, std::u16string_view log_path) {
  size_t at = text.find(u"%s");
  if (at == std::u16string_view::npos) return std::u16string(text);
  std::u16string out(text.substr(0, at));
  out.append(log_path);
  out.append(text.substr(at + 2));
  return out;
}

}  // namespace halberd::engine
