// The files a project names: a path to a file, a folder (everything below it), or a glob
// pattern. Patterns use "/" (or "\") between folders; "*" matches any characters within one
// name, "?" one character, "[abc]" / "[a-z]" / "[!abc]" one character of a set, and a "**"
// name any number of folders. Each match keeps its path below the part of the pattern without
// wildcards, which becomes its folder below the target folder.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace halberd::pack {

struct SourceFile {
  std::filesystem::path path;
  std::string relative;  // below the pattern's base, "/"-separated, UTF-8
};

// Why `pattern` is not a valid glob ("[" without "]", "**" inside a name, an empty set); empty
// when it is valid.
std::string GlobProblem(std::string_view pattern);

// Does one name match one pattern segment ("*.txt", "data?.bin", "[a-c]*")?
bool MatchSegment(std::string_view segment, std::string_view name);

// Does a "/"-separated relative path match a pattern (segments, "**" for any folders)?
bool MatchPath(std::string_view pattern, std::string_view path);

// Finds the files `pattern` names, relative to `base`, leaving out those whose relative path
// matches one of `excludes`; sorted by relative path, byte-wise. Fails with a reason (missing
// file, bad glob, unreadable folder); a pattern that matches nothing gives an empty list.
bool FindSourceFiles(const std::filesystem::path& base, std::string_view pattern,
                     const std::vector<std::string>& excludes, std::vector<SourceFile>& found, std::string& error);

}  // namespace halberd::pack
