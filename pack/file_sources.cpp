#include "pack/file_sources.h"

#include <algorithm>

namespace halberd::pack {

namespace fs = std::filesystem;

namespace {

std::vector<std::string_view> Segments(std::string_view path) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) out.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

bool HasWildcard(std::string_view s) { return s.find_first_of("*?[") != std::string_view::npos; }

std::string Generic(std::string_view pattern) {
  std::string s(pattern);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

// Matches a character set starting after "[" at `p`; advances `p` past "]".
bool MatchSet(std::string_view seg, size_t& p, char c) {
  bool negate = p < seg.size() && (seg[p] == '!' || seg[p] == '^');
  if (negate) ++p;
  bool hit = false;
  bool first = true;
  while (p < seg.size() && (seg[p] != ']' || first)) {
    first = false;
    char lo = seg[p], hi = lo;
    if (p + 2 < seg.size() && seg[p + 1] == '-' && seg[p + 2] != ']') {
      hi = seg[p + 2];
      p += 2;
    }
    if (uint8_t(c) >= uint8_t(lo) && uint8_t(c) <= uint8_t(hi)) hit = true;
    ++p;
  }
  ++p;  // "]"
  return hit != negate;
}

bool MatchFrom(std::string_view seg, size_t p, std::string_view name, size_t n) {
  while (p < seg.size()) {
    char c = seg[p];
    if (c == '*') {
      while (p < seg.size() && seg[p] == '*') ++p;
      if (p == seg.size()) return true;
      for (size_t k = n; k <= name.size(); ++k)
        if (MatchFrom(seg, p, name, k)) return true;
      return false;
    }
    if (n == name.size()) return false;
    if (c == '?') {
      ++p, ++n;
    } else if (c == '[') {
      ++p;
      if (!MatchSet(seg, p, name[n])) return false;
      ++n;
    } else {
      if (c != name[n]) return false;
      ++p, ++n;
    }
  }
  return n == name.size();
}

bool MatchSegments(const std::vector<std::string_view>& pat, size_t i, const std::vector<std::string_view>& path,
                   size_t k) {
  if (i == pat.size()) return k == path.size();
  if (pat[i] == "**") {
    for (size_t j = k; j <= path.size(); ++j)
      if (MatchSegments(pat, i + 1, path, j)) return true;
    return false;
  }
  return k < path.size() && MatchSegment(pat[i], path[k]) && MatchSegments(pat, i + 1, path, k + 1);
}

fs::path U8Path(std::string_view s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string Utf8(const fs::path& p) {
  auto u8 = p.generic_u8string();
  return std::string(u8.begin(), u8.end());
}

}  // namespace

std::string GlobProblem(std::string_view pattern) {
  std::string g = Generic(pattern);
  if (g.empty()) return "the pattern is empty";
  for (std::string_view seg : Segments(g)) {
    if (seg.find("**") != std::string_view::npos && seg != "**")
      return "\"**\" must stand alone between slashes (as in \"docs/**/*.txt\")";
    for (size_t p = 0; p < seg.size(); ++p) {
      if (seg[p] == ']') return "\"]\" without \"[\"";
      if (seg[p] != '[') continue;
      size_t q = p + 1;
      if (q < seg.size() && (seg[q] == '!' || seg[q] == '^')) ++q;
      if (q < seg.size() && seg[q] == ']') ++q;  // "]" first in a set is a member
      while (q < seg.size() && seg[q] != ']') ++q;
      if (q >= seg.size()) return "\"[\" without \"]\"";
      if (q == p + 1) return "an empty set \"[]\"";
      p = q;
    }
  }
  return {};
}

bool MatchSegment(std::string_view segment, std::string_view name) { return MatchFrom(segment, 0, name, 0); }

bool MatchPath(std::string_view pattern, std::string_view path) {
  std::string g = Generic(pattern);
  return MatchSegments(Segments(g), 0, Segments(path), 0);
}

bool FindSourceFiles(const fs::path& base, std::string_view pattern, const std::vector<std::string>& excludes,
                     std::vector<SourceFile>& found, std::string& error) {
  found.clear();
  const std::string g = Generic(pattern);
  std::error_code ec;
  // A path that exists as written is taken as it is, even when its name holds "[" or "*".
  if (fs::path literal = base / U8Path(g); !g.empty() && HasWildcard(g) && fs::exists(literal, ec)) {
    if (fs::is_regular_file(literal, ec)) {
      found.push_back({literal, Utf8(literal.filename())});
      return true;
    }
    return FindSourceFiles(literal, "**", excludes, found, error);
  }
  if (std::string why = GlobProblem(pattern); !why.empty()) {
    error = "bad pattern `" + std::string(pattern) + "`: " + why;
    return false;
  }
  for (const std::string& x : excludes) {
    if (std::string why = GlobProblem(x); !why.empty()) {
      error = "bad pattern `" + x + "`: " + why;
      return false;
    }
  }
  const bool absolute = !g.empty() && g[0] == '/';
  std::vector<std::string_view> segs = Segments(g);
  // The base of the match: the leading names without wildcards.
  size_t fixed = 0;
  while (fixed < segs.size() && !HasWildcard(segs[fixed])) ++fixed;
  fs::path root = base;
  size_t first = 0;
  if (absolute) {
    root = fs::path("/");
  } else if (g.size() >= 2 && g[1] == ':' && fixed > 0) {  // "C:/..." on Windows
    root = U8Path(std::string(segs[0]) + "/");
    first = 1;
  }
  for (size_t i = first; i < fixed; ++i) root /= U8Path(segs[i]);
  std::vector<std::string_view> rest(segs.begin() + long(fixed), segs.end());
  auto excluded = [&](const std::string& rel) {
    return std::any_of(excludes.begin(), excludes.end(), [&](const std::string& x) { return MatchPath(x, rel); });
  };

  if (rest.empty()) {
    // A plain path: one file, or everything below a folder.
    if (fs::is_regular_file(root, ec)) {
      found.push_back({root, Utf8(root.filename())});
      return true;
    }
    if (!fs::is_directory(root, ec)) {
      error = "missing file `" + std::string(pattern) + "`";
      return false;
    }
    rest = {"**", "*"};
  }
  if (!fs::is_directory(root, ec)) return true;  // nothing to match in
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string rel = Utf8(it->path().lexically_relative(root));
    if (!MatchSegments(rest, 0, Segments(rel), 0) || excluded(rel)) continue;
    found.push_back({it->path(), rel});
  }
  if (ec) {
    error = "cannot list `" + Utf8(root) + "`: " + ec.message();
    return false;
  }
  std::sort(found.begin(), found.end(), [](const SourceFile& a, const SourceFile& b) { return a.relative < b.relative; });
  return true;
}

}  // namespace halberd::pack
