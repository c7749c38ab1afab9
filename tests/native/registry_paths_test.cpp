// Registry paths in root notation: the strict root parse of key opens, the lenient one of the path
// deletions, the all-users prefix, path texts and the user-hive filter.
#include "foundation/registry_paths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "foundation/text_convert.h"

using namespace halberd;

namespace {

std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

// "LM:Software\X" for a parsed path, "bad" for none.
std::string Show(const std::optional<RegistryKeyPath>& p) {
  if (!p) return "bad";
  return N(RootNames(p->root).short_name) + ":" + N(p->subkey);
}

}  // namespace

TEST(RegistryPaths, RootParsesOfOpensAndDeletions) {
  struct Case {
    const char* path;
    const char* open;      // ParseKeyPath
    const char* deletion;  // ParseDeletionPath
  };
  const Case cases[] = {
      // Bracketed forms, any case.
      {"\\HKLM\\Software\\X", "HKLM:Software\\X", "HKLM:Software\\X"},
      {"\\hklm\\Software\\X", "HKLM:Software\\X", "HKLM:Software\\X"},
      {"\\HkCu\\Software", "HKCU:Software", "HKCU:Software"},
      {"\\HKCR\\.txt\\shell", "HKCR:.txt\\shell", "HKCR:.txt\\shell"},
      {"\\HKU\\S-1-5-18\\X", "HKU:S-1-5-18\\X", "HKU:S-1-5-18\\X"},
      {"\\HKCC\\System", "HKCC:System", "HKCC:System"},
      {"\\HKDD\\PerfStats", "HKDD:PerfStats", "HKDD:PerfStats"},
      {"\\HKLM\\", "HKLM:", "HKLM:"},
      // An open drops trailing backslashes; a deletion keeps the text (its last part names a value).
      {"\\HKLM\\Software\\X\\", "HKLM:Software\\X", "HKLM:Software\\X\\"},
      // The bracketed form without its last backslash, only as the whole path.
      {"\\HKLM", "HKLM:", "HKLM:"},
      {"\\HKU", "HKU:", "HKU:"},
      {"\\HKLMSoftware", "bad", "bad"},
      {"\\HKUX\\A", "bad", "bad"},
      // A backslash and a long name, followed by the end or a backslash.
      {"\\HKEY_LOCAL_MACHINE\\Software\\X", "HKLM:Software\\X", "HKLM:Software\\X"},
      {"\\hkey_current_user\\Software", "HKCU:Software", "HKCU:Software"},
      {"\\HKEY_CLASSES_ROOT", "HKCR:", "HKCR:"},
      {"\\HKEY_USERS\\.DEFAULT", "HKU:.DEFAULT", "HKU:.DEFAULT"},
      {"\\HKEY_CURRENT_CONFIG\\System", "HKCC:System", "HKCC:System"},
      {"\\HKEY_DYN_DATA\\X", "HKDD:X", "HKDD:X"},
      {"\\HKEY_LOCAL_MACHINEX\\Software", "bad", "bad"},
      // No leading backslash: bad for opens, fine for deletions.
      {"HKLM\\Software\\X", "bad", "HKLM:Software\\X"},
      {"HKEY_LOCAL_MACHINE\\Software\\X", "bad", "HKLM:Software\\X"},
      {"hkcu", "bad", "HKCU:"},
      // Not roots.
      {"\\HKAU\\Software\\X", "bad", "bad"},
      {"\\HKXX\\A", "bad", "bad"},
      {"", "bad", "bad"},
      {"\\", "bad", "bad"},
      {"\\\\HKLM\\A", "bad", "bad"},
      {"Software\\X", "bad", "bad"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(ParseKeyPath(U(c.path))), c.open) << c.path;
    EXPECT_EQ(Show(ParseDeletionPath(U(c.path))), c.deletion) << c.path;
  }
}

TEST(RegistryPaths, AllUsersPrefix) {
  struct Case { const char* path; const char* rest; };  // rest nullptr: not an all-users path
  const Case cases[] = {
      {"\\HKAU\\Software\\X", "Software\\X"},
      {"\\hkau\\X", "X"},
      {"\\HKAU\\", ""},
      {"\\HKAU", nullptr},
      {"HKAU\\X", nullptr},
      {"\\HKLM\\X", nullptr},
      {"\\HKU\\X", nullptr},
  };
  for (const Case& c : cases) {
    std::u16string path = U(c.path);
    std::optional<std::u16string_view> rest = StripAllUsersPrefix(path);
    if (c.rest) {
      ASSERT_TRUE(rest.has_value()) << c.path;
      EXPECT_EQ(N(*rest), c.rest) << c.path;
    } else {
      EXPECT_FALSE(rest.has_value()) << c.path;
    }
  }
}

TEST(RegistryPaths, PathTextsAndSplits) {
  EXPECT_EQ(N(KeyPathText(RegistryRoot::kLocalMachine, u"Software\\X")), "HKEY_LOCAL_MACHINE\\Software\\X\\");
  EXPECT_EQ(N(KeyPathText(RegistryRoot::kCurrentUser, u"")), "HKEY_CURRENT_USER\\");
  EXPECT_EQ(N(KeyPathText(RegistryRoot::kUsers, u"\\S-1\\X\\")), "HKEY_USERS\\S-1\\X\\");
  EXPECT_EQ(N(SubkeyPathText(u"HKEY_LOCAL_MACHINE\\Software\\", u"X\\Y")), "HKEY_LOCAL_MACHINE\\Software\\X\\Y\\");
  EXPECT_EQ(N(SubkeyPathText(u"", u"X")), "X\\");

  struct Case { const char* path; const char* parent; const char* name; };
  const Case cases[] = {
      {"a\\b\\c", "a\\b", "c"},
      {"c", "", "c"},
      {"a\\", "a", ""},  // an empty last part: the default value of key "a"
      {"", "", ""},
  };
  for (const Case& c : cases) {
    std::u16string path = U(c.path);
    SplitKeyPath split = SplitAtLastBackslash(path);
    EXPECT_EQ(N(split.parent), c.parent) << c.path;
    EXPECT_EQ(N(split.name), c.name) << c.path;
  }
}

TEST(RegistryPaths, UserHiveNames) {
  struct Case { const char* name; bool user; };
  const Case cases[] = {
      {"S-1-5-21-1004336348-1177238915-682003330-1000", true},
      {"S-1-5-18", true},
      {".DEFAULT", false},
      {".Default", false},
      {"S-1-5-21-1004336348-1177238915-682003330-1000_Classes", false},
      {"S-1-5-21-1-2-3-1000_CLASSES", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsUserHiveName(U(c.name)), c.user) << c.name;
}
