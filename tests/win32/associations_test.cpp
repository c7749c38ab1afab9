// File associations on a real registry (Wine): an extension that already named a file type gets
// ours with the old type kept in the backup value, two verbs with an icon, the [Associations]
// lines, command keys ordinary users cannot rewrite, and the uninstaller's undo that puts the old
// type back and leaves none of our keys.
#include "integration/associations.h"

#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/setup_script_state.h"
#include "uninstall/run_uninstall_data.h"

using namespace halberd;

namespace {

constexpr wchar_t kExtension[] = L".halberdtest";
constexpr wchar_t kOldType[] = L"HalberdTest.OldType";
constexpr wchar_t kProgramId[] = L"HalberdTest.Document";

// The text of a value below HKEY_CLASSES_ROOT; "<missing>" when there is none.
std::wstring ClassesText(const std::wstring& key, const wchar_t* name = nullptr) {
  wchar_t buffer[1024];
  DWORD size = sizeof(buffer);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                   buffer, &size) != ERROR_SUCCESS)
    return L"<missing>";
  return buffer;
}

bool ClassesKeyExists(const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// Whether the key's access list lets Everyone, Users or Authenticated Users change it. A key
// without an access list lets everyone do everything.
bool OrdinaryUsersMayWrite(const std::wstring& object_name, bool& has_dacl) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  has_dacl = false;
  if (GetNamedSecurityInfoW(object_name.c_str(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return true;
  has_dacl = dacl != nullptr;
  bool may_write = dacl == nullptr;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY, nt = SECURITY_NT_AUTHORITY;
  PSID everyone = nullptr, users = nullptr, authenticated = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users);
  AllocateAndInitializeSid(&nt, 1, SECURITY_AUTHENTICATED_USER_RID, 0, 0, 0, 0, 0, 0, 0, &authenticated);
  const ACCESS_MASK write = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | WRITE_DAC | WRITE_OWNER | DELETE | GENERIC_WRITE |
                            GENERIC_ALL;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)) || header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    PSID sid = &ace->SidStart;
    if ((EqualSid(sid, everyone) || EqualSid(sid, users) || EqualSid(sid, authenticated)) && (ace->Mask & write))
      may_write = true;
  }
  FreeSid(everyone);
  FreeSid(users);
  FreeSid(authenticated);
  LocalFree(descriptor);
  return may_write;
}

class AssociationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_settings_ = engine::Settings();
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kExtension);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgramId);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, kExtension, nullptr, REG_SZ, kOldType,
                              DWORD((wcslen(kOldType) + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    engine::Settings() = saved_settings_;
    engine::Script().associations.clear();
    uninstall::RunUninstallData().associations.clear();
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kExtension);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgramId);
  }
  engine::ProductSettings saved_settings_;
};

TEST_F(AssociationsTest, TwoVerbsOverAnExtensionWithAType) {
  engine::Settings().DisplayName = u"Halberd Test";
  engine::Settings().Language = u"English";
  engine::Run().install_folder = L"C:\\HalberdTest";
  format::FileAssociation entry;
  entry.kind = 0;
  entry.extension = "halberdtest";  // the leading "." is added
  entry.program_id = "HalberdTest.Document";
  entry.description = "Halberd test document";
  entry.verbs = "open,print";
  entry.verb_label = "&Open with Halberd";
  entry.command = u"\"C:\\HalberdTest\\app.exe\" \"%1\"";
  entry.icon = u"app.exe,1";  // relative: taken against the installation folder
  format::FileAssociation other_language = entry;
  other_language.extension = "halberdskipped";
  other_language.language = u"German";
  engine::Script().associations = {entry, other_language};

  integration::MakeAssociations();

  EXPECT_EQ(ClassesText(kExtension), kProgramId);
  EXPECT_EQ(ClassesText(kExtension, L"Halberd Test Backup"), kOldType);
  EXPECT_EQ(ClassesText(std::wstring(kExtension) + L"\\OpenWithProgids", kProgramId), L"");
  const std::wstring id = kProgramId;
  EXPECT_EQ(ClassesText(id), L"Halberd test document");
  EXPECT_EQ(ClassesText(id + L"\\DefaultIcon"), L"C:\\HalberdTest\\app.exe,1");
  EXPECT_EQ(ClassesText(id + L"\\shell\\open"), L"&Open with Halberd");
  EXPECT_EQ(ClassesText(id + L"\\shell\\open\\command"), L"\"C:\\HalberdTest\\app.exe\" \"%1\"");
  EXPECT_EQ(ClassesText(id + L"\\shell\\print\\command"), L"\"C:\\HalberdTest\\app.exe\" \"%1\"");
  EXPECT_FALSE(ClassesKeyExists(L".halberdskipped"));
  const std::vector<uninstall::AssociationLine> expected = {
      {".halberdtest", "HalberdTest.Document", "open", "app.exe,1"},
      {".halberdtest", "HalberdTest.Document", "print", "app.exe,1"}};
  EXPECT_EQ(uninstall::RunUninstallData().associations, expected);

  bool has_dacl = false;
  const bool may_write = OrdinaryUsersMayWrite(L"CLASSES_ROOT\\" + id + L"\\shell\\open\\command", has_dacl);
  bool root_has_dacl = false;
  OrdinaryUsersMayWrite(L"CLASSES_ROOT", root_has_dacl);
  // A registry that keeps no access lists at all (HKEY_CLASSES_ROOT has none) cannot tell.
  if (has_dacl || root_has_dacl) {
    EXPECT_FALSE(may_write) << "ordinary users may rewrite the open command";
  }

  integration::RemoveAssociations(uninstall::RunUninstallData().associations, u"Halberd Test");
  EXPECT_EQ(ClassesText(kExtension), kOldType);
  EXPECT_EQ(ClassesText(kExtension, L"Halberd Test Backup"), L"<missing>");
  EXPECT_FALSE(ClassesKeyExists(kProgramId));
  EXPECT_FALSE(ClassesKeyExists(std::wstring(kExtension) + L"\\OpenWithProgids"));
}

TEST_F(AssociationsTest, NewExtensionIsRemovedWholeAndAnEmptyIdentifierNeedsAType) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kExtension);
  engine::Settings().DisplayName = u"Halberd Test";
  format::FileAssociation entry;
  entry.extension = ".halberdtest";
  entry.program_id = "HalberdTest.Document";
  entry.verbs = "open";
  entry.command = u"\"C:\\HalberdTest\\app.exe\" \"%1\"";
  format::FileAssociation no_type;
  no_type.extension = ".halberdnotype";
  no_type.verbs = "open";
  no_type.command = entry.command;
  engine::Script().associations = {entry, no_type};

  integration::MakeAssociations();
  EXPECT_EQ(ClassesText(kExtension), kProgramId);
  EXPECT_EQ(ClassesText(kExtension, L"Halberd Test Backup"), L"<missing>");
  EXPECT_FALSE(ClassesKeyExists(L".halberdnotype"));
  ASSERT_EQ(uninstall::RunUninstallData().associations.size(), 1u);

  integration::RemoveAssociations(uninstall::RunUninstallData().associations, u"Halberd Test");
  EXPECT_FALSE(ClassesKeyExists(kExtension));
  EXPECT_FALSE(ClassesKeyExists(kProgramId));
}

}  // namespace
