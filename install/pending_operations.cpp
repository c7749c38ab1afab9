#include "install/pending_operations.h"

#include <unordered_map>

namespace halberd::install {

std::vector<std::u16string> SplitPendingOperations(std::u16string_view data) {
  // The closing null of the list; what is left is a run of null-terminated entries (the last one
  // may lack its null when a writer left it off).
  if (data == std::u16string_view(u"\0", 1) ||
      (data.size() >= 2 && data[data.size() - 1] == u'\0' && data[data.size() - 2] == u'\0')) {
    data.remove_suffix(1);
  }
  std::vector<std::u16string> entries;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find(u'\0', start);
    if (end == std::u16string_view::npos) end = data.size();
    entries.emplace_back(data.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

std::u16string JoinPendingOperations(const std::vector<std::u16string>& entries) {
  std::u16string data;
  for (const std::u16string& entry : entries) {
    data.append(entry);
    data.push_back(u'\0');
  }
  data.push_back(u'\0');
  return data;
}

std::u16string NormalisePendingPath(std::u16string_view path) {
  size_t start = path.find_first_not_of(u"\\?!");
  if (start == std::u16string_view::npos) return std::u16string();
  std::u16string out(path.substr(start));
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
  }
  return out;
}

std::u16string PendingPathToFilePath(std::u16string_view path) {
  if (!path.empty() && path.front() == u'!') path.remove_prefix(1);
  constexpr std::u16string_view kNtPrefix = u"\\??\\";
  if (path.substr(0, kNtPrefix.size()) != kNtPrefix) return std::u16string(path);
  path.remove_prefix(kNtPrefix.size());
  std::u16string_view unc = path.substr(0, 4);
  if (unc.size() == 4 && (unc[0] == u'U' || unc[0] == u'u') && (unc[1] == u'N' || unc[1] == u'n') &&
      (unc[2] == u'C' || unc[2] == u'c') && unc[3] == u'\\') {
    return u"\\\\" + std::u16string(path.substr(4));
  }
  return std::u16string(path);
}

CleanedPendingOperations CleanPendingList(std::vector<std::u16string> entries,
                                          const std::vector<std::u16string>& installed_files) {
  std::unordered_map<std::u16string, size_t> installed;  // normalised path -> index in the list
  for (size_t i = 0; i < installed_files.size(); ++i) {
    std::u16string key = NormalisePendingPath(installed_files[i]);
    if (!key.empty()) installed.emplace(std::move(key), i);
  }

  CleanedPendingOperations result;
  if (entries.size() % 2 != 0) entries.pop_back();
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    std::u16string& source = entries[i];
    std::u16string& target = entries[i + 1];
    bool is_move = !target.empty();
    auto hit = installed.find(NormalisePendingPath(is_move ? target : source));
    if (hit != installed.end()) {
      result.removed.push_back({is_move, installed_files[hit->second], source});
      continue;
    }
    result.entries.push_back(std::move(source));
    result.entries.push_back(std::move(target));
  }
  return result;
}

}  // namespace halberd::install
