// The version policy of an earlier installation: registry locations, the uninstall-first rule,
// NoDowngradeBelow, how the earlier uninstaller is run and its command line, the install type and
// the over-installation question.
#include "engine/earlier_installation.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/text_convert.h"
#include "variables/batch_file.h"
#include "variables/path_variables.h"

using namespace halberd;
using namespace halberd::engine;

namespace {
std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

EarlierInstallation Present(const char* version) {
  EarlierInstallation e;
  e.folder = u"C:\\Prod";
  e.present = true;
  e.version = U(version);
  return e;
}
}  // namespace

TEST(EarlierInstallation, RegistryLocation) {
  struct Case {
    const char* text;
    bool valid;
    bool current_user;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"HKLM\\Software\\Acme\\Prod\\InstallPath", true, false, "Software\\Acme\\Prod", "InstallPath"},
      {"HKCU\\Software\\Acme\\Path", true, true, "Software\\Acme", "Path"},
      {"HKLM\\Software\\", true, false, "Software", ""},  // the key's default value
      {"HKLM\\Path", false, false, "", ""},               // no key below the root
      {"HKLM\\", false, false, "", ""},
      {"hklm\\Software\\X\\Y", false, false, "", ""},     // the root names are exact
      {"HKCR\\Software\\X\\Y", false, false, "", ""},
      {"C:\\Program Files\\Prod", false, false, "", ""},
  };
  for (const Case& c : cases) {
    auto location = ParseRegistryLocation(U(c.text));
    ASSERT_EQ(location.has_value(), c.valid) << c.text;
    if (!location) continue;
    EXPECT_EQ(location->current_user, c.current_user) << c.text;
    EXPECT_EQ(N(location->key), c.key) << c.text;
    EXPECT_EQ(N(location->value), c.value) << c.text;
  }
}

TEST(EarlierInstallation, UninstallFirst) {
  struct Case {
    const char* what;
    bool rule_on;
    EarlierInstallation earlier;
    bool folder_from_registry;
    const char* minimum;
    bool must;
  };
  const Case cases[] = {
      {"rule off", false, Present("1.0"), false, "", false},
      {"no earlier installation", true, EarlierInstallation{}, false, "", false},
      {"folder from a registry value", true, Present("1.0"), true, "", false},
      {"no minimum: any version", true, Present("9.9"), false, "", true},
      {"below the minimum", true, Present("2.9.9"), false, "3.0", true},
      {"equal to the minimum", true, Present("3.0.0"), false, "3.0", false},
      {"above the minimum", true, Present("3.10"), false, "3.9", false},
      {"unknown version", true, Present(""), false, "3.0", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MustUninstallFirst(c.rule_on, c.earlier, c.folder_from_registry, U(c.minimum)), c.must) << c.what;
}

TEST(EarlierInstallation, NoDowngradeBelow) {
  EXPECT_TRUE(IsDowngradeRefused(u"2.0", u"1.9"));
  EXPECT_FALSE(IsDowngradeRefused(u"2.0", u"2.0"));   // an equal version is allowed
  EXPECT_FALSE(IsDowngradeRefused(u"2.0", u"2.0.1"));
  EXPECT_FALSE(IsDowngradeRefused(u"", u"0.1"));      // no value: nothing refused
  EXPECT_TRUE(IsDowngradeRefused(u"1.10", u"1.9"));   // numbers, not text
}

TEST(EarlierInstallation, EarlierUninstallerAction) {
  EXPECT_EQ(DecideEarlierUninstaller(true, true), EarlierUninstallerAction::kStart);
  EXPECT_EQ(DecideEarlierUninstaller(true, false), EarlierUninstallerAction::kRefuseNoCommand);
  EXPECT_EQ(DecideEarlierUninstaller(false, true), EarlierUninstallerAction::kAskThenStart);
  EXPECT_EQ(DecideEarlierUninstaller(false, false), EarlierUninstallerAction::kRefuse);
}

TEST(EarlierInstallation, EarlierUninstallerCommand) {
  struct Case {
    const char* command;
    const char* own;
    bool silent;
    bool automatic;
    const char* result;
  };
  const Case cases[] = {
      {"\"C:\\P\\unins.exe\" /u:\"Prod\"", "\"C:\\dl\\setup.exe\" /d:\"C:\\x y\"", true, true,
       "\"C:\\P\\unins.exe\" /u:\"Prod\" /r:\"`C:\\dl\\setup.exe` /d:`C:\\x y`\" /silent /a"},
      {"unins.exe", "setup.exe", false, false, "unins.exe /r:\"setup.exe\""},
      {"unins.exe", "setup.exe /a", false, true, "unins.exe /r:\"setup.exe /a\" /a"},
      {"unins.exe", "setup.exe", true, false, "unins.exe /r:\"setup.exe\" /silent"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(N(EarlierUninstallerCommand(U(c.command), U(c.own), c.silent, c.automatic)), c.result) << c.own;
}

TEST(EarlierInstallation, InstallType) {
  struct Case {
    bool present;
    bool compare;
    const char* new_version;
    const char* old_version;
    const char* name;
    int text;
  };
  const Case cases[] = {
      {false, true, "2.0", "1.0", "New", 0},
      {true, true, "2.0", "2.0.0", "Reinstall", 4},
      {true, true, "2.1", "2.0", "Upgrade", 5},
      {true, true, "1.10", "1.9", "Upgrade", 5},
      {true, true, "1.9", "2.0", "Downgrade", 6},
      {true, false, "2.1", "2.0", "Reinstall", 3},  // no comparison
      {true, true, "2.1", "", "Reinstall", 3},      // unknown earlier version
      {true, true, "", "2.0", "Reinstall", 3},
  };
  for (const Case& c : cases) {
    InstallTypeResult r = ClassifyInstall(c.present, c.compare, U(c.new_version), U(c.old_version));
    EXPECT_EQ(N(InstallTypeName(r.type)), c.name) << c.new_version << " over " << c.old_version;
    EXPECT_EQ(r.text, c.text) << c.new_version << " over " << c.old_version;
  }
}

// What an earlier installation gives the path variables and which batches it lets run, for
// version 4.5.6 over none, the same, an older and a newer version, with the Reinstall batch's
// same-version rule (ProductFlags2 bit 0) off and on.
TEST(EarlierInstallation, ValuesAndBatchesOfTheEarlierInstallation) {
  struct Case {
    const char* earlier;  // nullptr: none
    bool compare;
    bool same_version_only;
    int existing;
    const char* major;
    const char* minor;
    bool upgrade;
    bool reinstall;
  };
  const Case cases[] = {
      {nullptr, true, false, 0, "", "", false, false},
      {nullptr, true, true, 0, "", "", false, false},
      {"4.5.6", true, false, 1, "4", "5", false, true},
      {"4.5.6", true, true, 1, "4", "5", false, true},
      {"4.4.1", true, false, 2, "4", "4", true, true},
      {"4.4.1", true, true, 2, "4", "4", true, false},
      {"10.0", true, false, 3, "10", "0", false, true},
      {"10.0", true, true, 3, "10", "0", false, false},
      {"4.4.1", false, true, 1, "4", "4", false, true},  // versions not compared: a reinstallation
      {"", true, true, 1, "", "", false, true},          // no DisplayVersion: a reinstallation
      {"..7..2", false, false, 1, "7", "2", false, true},  // empty parts are skipped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.earlier ? c.earlier : "none") + (c.compare ? "" : " not compared") +
                 (c.same_version_only ? " same version only" : ""));
    EarlierInstallation earlier;
    if (c.earlier) earlier = Present(c.earlier);
    EarlierInstallationValues v = ValuesOfEarlierInstallation(earlier, c.compare, u"4.5.6");
    EXPECT_EQ(v.existing, c.existing);
    EXPECT_EQ(N(v.old_version), c.earlier ? c.earlier : "");
    EXPECT_EQ(N(v.folder), c.earlier ? "C:\\Prod" : "");
    const char* const names[] = {"New", "Reinstall", "Upgrade", "Downgrade"};
    EXPECT_EQ(N(InstallTypeName(v.type)), names[c.existing]);

    variables::PathVariableInputs in;
    in.existing = v.existing;
    in.old_version = v.old_version;
    EXPECT_EQ(N(variables::PathVariableValue(variables::PathVariable::kExisting, in)), std::to_string(c.existing));
    EXPECT_EQ(N(variables::PathVariableValue(variables::PathVariable::kOldVersionMajor, in)), c.major);
    EXPECT_EQ(N(variables::PathVariableValue(variables::PathVariable::kOldVersionMinor, in)), c.minor);

    variables::BatchesBeforeInstallation b =
        variables::SelectBatchesBeforeInstallation(v.existing, !v.folder.empty(), c.same_version_only);
    EXPECT_EQ(b.upgrade, c.upgrade);
    EXPECT_EQ(b.reinstall, c.reinstall);
  }
}

TEST(EarlierInstallation, OverInstallQuestion) {
  EXPECT_FALSE(AsksOverInstall(false, u"1.0", u""));
  EXPECT_FALSE(AsksOverInstall(true, u"", u""));       // no known earlier version
  EXPECT_TRUE(AsksOverInstall(true, u"1.0", u""));     // no minimum: always asked
  EXPECT_TRUE(AsksOverInstall(true, u"1.9", u"2.0"));
  EXPECT_FALSE(AsksOverInstall(true, u"2.0", u"2.0"));
  EXPECT_FALSE(AsksOverInstall(true, u"2.1", u"2.0"));
}
