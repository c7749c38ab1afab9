// The rules of the file associations: the backup value's name, the verbs of an entry, the
// language condition, which program identifier an extension gets, backups, the uninstall line and
// the log lines.
#include "integration/associations.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::integration;

namespace {

std::u16string U(std::string_view s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

}  // namespace

TEST(Associations, BackupValueName) {
  EXPECT_EQ(N(BackupValueName(u"Acme Editor")), "Acme Editor Backup");
  EXPECT_EQ(N(BackupValueName(u"Acme\\Editor\r\n\t2")), "AcmeEditor2 Backup");
  EXPECT_EQ(N(BackupValueName(u"Éditeur")), "Éditeur Backup");
  EXPECT_EQ(N(BackupValueName(u"")), " Backup");
}

TEST(Associations, ExtensionAndVerbs) {
  EXPECT_EQ(WithLeadingDot("txt"), ".txt");
  EXPECT_EQ(WithLeadingDot(".txt"), ".txt");
  EXPECT_EQ(WithLeadingDot(""), "");
  struct Case {
    const char* verbs;
    std::vector<std::string> result;
  };
  const Case cases[] = {
      {"open", {"open"}},
      {"open,print", {"open", "print"}},
      {" open , print ", {"open", "print"}},
      {"open,,print,", {"open", "print"}},
      {"", {}},
      {"a,b,c,d,e,f,g,h,i,j", {"a", "b", "c", "d", "e", "f", "g", "h"}},  // at most 8
  };
  for (const Case& c : cases) EXPECT_EQ(AssociationVerbs(c.verbs), c.result) << c.verbs;
}

TEST(Associations, LanguageCondition) {
  EXPECT_TRUE(AssociationApplies(u"", u"English"));
  EXPECT_TRUE(AssociationApplies(u"German", u"German"));
  EXPECT_FALSE(AssociationApplies(u"German", u"English"));
}

TEST(Associations, ProgramIdentifierChoice) {
  struct Case {
    const char* given;
    const char* extension_type;  // the extension's current default value
    bool usable;
    const char* program_id;
    bool owned;
  };
  const Case cases[] = {
      // Our own identifier: the extension is pointed at it, whatever it named before.
      {"Acme.Doc", "", true, "Acme.Doc", true},
      {"Acme.Doc", "txtfile", true, "Acme.Doc", true},
      // Empty: the extension's current type is extended; without one there is nothing to do.
      {"", "txtfile", true, "txtfile", false},
      {"", "", false, "", false},
      // "!": the current type when there is one, else ours.
      {"!Acme.Doc", "txtfile", true, "txtfile", false},
      {"!Acme.Doc", "", true, "Acme.Doc", true},
      {"!", "", false, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.given) + " / " + c.extension_type);
    ProgramIdChoice choice = ChooseProgramId(U(c.given), U(c.extension_type));
    EXPECT_EQ(choice.usable, c.usable);
    EXPECT_EQ(N(choice.program_id), c.program_id);
    EXPECT_EQ(choice.owned, c.owned);
  }
}

TEST(Associations, BackupOnlyOfAnotherValue) {
  EXPECT_TRUE(NeedsBackup(u"txtfile", u"Acme.Doc"));
  EXPECT_FALSE(NeedsBackup(u"Acme.Doc", u"Acme.Doc"));  // a reinstall finds its own value
  EXPECT_FALSE(NeedsBackup(u"", u"Acme.Doc"));
  EXPECT_TRUE(HasVisibleText(u" Acme document "));
  EXPECT_FALSE(HasVisibleText(u" \t "));
  EXPECT_FALSE(HasVisibleText(u""));
}

TEST(Associations, UninstallLineSurvivesTheFile) {
  uninstall::AssociationLine line = MakeAssociationLine(u".txt", u"Acme.Doc", u"open", u"%InstallDir%\\app.exe,1");
  EXPECT_EQ(line, (uninstall::AssociationLine{".txt", "Acme.Doc", "open", "%InstallDir%\\app.exe,1"}));
  // Texts beyond ASCII are kept as "|" and UTF-8.
  line = MakeAssociationLine(u".dok", u"Acme.Dokument", u"öffnen", u"C:\\Müller\\app.ico");
  EXPECT_EQ(line.verb, "|\xC3\xB6" "ffnen");
  EXPECT_EQ(line.icon, "|C:\\M\xC3\xBCller\\app.ico");

  // Written into "Uninstall.dat" and read back, the lines are the same.
  uninstall::UninstallData data;
  data.associations = {MakeAssociationLine(u".abc", u"Acme.Doc", u"open", u""),
                       MakeAssociationLine(u".abc", u"Acme.Doc", u"print", u"C:\\Müller\\app.ico")};
  uninstall::UninstallData back = uninstall::LoadUninstallData(uninstall::WriteUninstallData(data));
  EXPECT_EQ(back.associations, data.associations);
}

TEST(Associations, LogLines) {
  EXPECT_EQ(N(AssociationNoLabelLine(u".abc")), "Association failed/no label:  \".abc\".\r\n\r\n");
  EXPECT_EQ(N(AssociationKeyInaccessibleLine(u".abc")), "Association failed/key inaccessible:  \".abc\".\r\n\r\n");
  EXPECT_EQ(N(AssociationOpenWithLine(u".abc", u"\"C:\\App\\a.exe\" \"%1\"")), ".abc Open With \"C:\\App\\a.exe\" \"%1\"\r\n");
  EXPECT_EQ(N(AssociationFailedLine(u".abc", u"Access is denied.")),
            "Failed to associate file type:  \".abc\".\r\nAccess is denied.\r\n");
  EXPECT_EQ(N(AssociationFailedLine(u".abc", u"")), "Failed to associate file type:  \".abc\".\r\n");
  EXPECT_EQ(N(AssociatedLine(u".abc", u"\"C:\\App\\a.exe\" \"%1\"", u"open")),
            "Associated .abc with \"C:\\App\\a.exe\" \"%1\" (verb=open)\r\n");
}
