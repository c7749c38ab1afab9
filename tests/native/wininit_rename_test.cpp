// Adding a line to the [rename] section of "wininit.ini": the new section at the end of a file
// without one, the newest line first in an existing one.
#include "foundation/wininit_rename.h"

#include <gtest/gtest.h>

using namespace halberd;

TEST(WininitRename, AddsTheLineToTheSectionOrAppendsTheSection) {
  struct Case {
    const char* name;
    const char* ini;
    const char* expected;
  };
  const Case cases[] = {
      {"no file (empty text)", "", "[rename]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP"},
      {"no section", "[boot]\r\nshell=x\r\n", "[boot]\r\nshell=x\r\n[rename]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP"},
      {"no final line break", "[boot]\r\nshell=x",
       "[boot]\r\nshell=x\r\n[rename]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP"},
      {"bare line feeds count as line breaks", "[boot]\nshell=x\n",
       "[boot]\nshell=x\n[rename]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP"},
      {"section with older lines: the newest comes first",
       "[rename]\r\nNUL=C:\\OLD.TXT\r\nC:\\A.DLL=C:\\B.TMP\r\n",
       "[rename]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP\r\nNUL=C:\\OLD.TXT\r\nC:\\A.DLL=C:\\B.TMP\r\n"},
      {"section in another letter case, between others", "[boot]\r\na=1\r\n[ReNaMe]\r\nNUL=C:\\OLD.TXT\r\n[x]\r\n",
       "[boot]\r\na=1\r\n[ReNaMe]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP\r\nNUL=C:\\OLD.TXT\r\n[x]\r\n"},
      {"section header last, without a line break", "[RENAME]", "[RENAME]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP"},
      {"indented header", "  [rename]\r\n", "  [rename]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP\r\n"},
      // The letters inside a line are no header: inserting there would split the line.
      {"[rename] inside a value", "[boot]\r\nnote=see [rename]\r\n",
       "[boot]\r\nnote=see [rename]\r\n[rename]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP"},
      {"[renamed] is another section", "[renamed]\r\n",
       "[renamed]\r\n[rename]\r\nC:\\TARGET.TXT=C:\\TLT1.TMP"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AddWininitRename(c.ini, "C:\\TARGET.TXT", "C:\\TLT1.TMP"), c.expected) << c.name;
  }
}

TEST(WininitRename, SuccessiveLinesStackNewestFirst) {
  std::string ini = AddWininitRename("", "NUL", "C:\\FIRST.TXT");
  ini = AddWininitRename(ini, "C:\\T.DLL", "C:\\SECOND.TMP");
  ini = AddWininitRename(ini, "NUL", "C:\\THIRD.TXT");
  EXPECT_EQ(ini, "[rename]\r\nNUL=C:\\THIRD.TXT\r\nC:\\T.DLL=C:\\SECOND.TMP\r\nNUL=C:\\FIRST.TXT");
}

TEST(WininitRename, EightBitTextPassesUnchanged) {
  // Code page bytes (here 0xE9, "é" in code page 1252) are copied as they are.
  EXPECT_EQ(AddWininitRename("[rename]\r\n", "C:\\CAF\xC9.TXT", "C:\\TLT\xE9.TMP"),
            "[rename]\r\nC:\\CAF\xC9.TXT=C:\\TLT\xE9.TMP\r\n");
}
