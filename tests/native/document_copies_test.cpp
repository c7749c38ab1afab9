// Readme and licence copies: file names by count and kind, and the bytes of plain and RTF texts.
#include "integration/document_copies.h"

#include <gtest/gtest.h>

using namespace halberd::integration;

namespace {
std::vector<std::u16string> Names(const std::vector<DocumentCopy>& copies) {
  std::vector<std::u16string> names;
  for (const DocumentCopy& c : copies) names.push_back(c.file_name);
  return names;
}
}  // namespace

TEST(DocumentCopies, NamesFollowCountAndKind) {
  struct Case {
    const char* what;
    std::vector<std::string> documents;
    std::vector<std::u16string> names;
  };
  const Case cases[] = {
      {"one plain", {"Hello"}, {u"readme.txt"}},
      {"two plain", {"One", "Two"}, {u"readme1.txt", u"readme2.txt"}},
      {"one RTF", {"{\\rtf1 x}"}, {u"readme.rtf"}},
      {"RTF after a byte-order mark", {"\xEF\xBB\xBF{\\rtf1 x}", "b"}, {u"readme1.rtf", u"readme2.txt"}},
      {"an empty text keeps its number", {"", "b"}, {u"readme2.txt"}},
      {"none", {}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Names(DocumentCopies(c.documents, u"readme")), c.names) << c.what;
  EXPECT_EQ(Names(DocumentCopies({"a", "b"}, u"eula")), (std::vector<std::u16string>{u"eula1.txt", u"eula2.txt"}));
}

TEST(DocumentCopies, PlainTextIsUtf16LittleEndianWithByteOrderMark) {
  // "é" (U+00E9) and "€" (U+20AC) in UTF-8; the UTF-8 byte-order mark is not carried over.
  std::vector<DocumentCopy> copies = DocumentCopies({"\xEF\xBB\xBFG\xC3\xA9\xE2\x82\xAC\r\n"}, u"readme");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].bytes, std::string("\xFF\xFE" "G\0" "\xE9\0" "\xAC\x20" "\r\0" "\n\0", 12));
}

TEST(DocumentCopies, RtfIsWrittenUnchanged) {
  const std::string rtf = "{\\rtf1\\ansi caf\\'e9}";
  std::vector<DocumentCopy> copies = DocumentCopies({rtf}, u"eula");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].bytes, rtf);
}

TEST(DocumentCopies, AFileTheRunInstalledIsRecognisedWhateverItsCase) {
  const std::vector<std::u16string> installed = {u"C:\\App\\README.TXT", u"C:\\App\\bin\\app.exe"};
  EXPECT_TRUE(IsInstalledFile(u"c:\\app\\readme.txt", installed));
  EXPECT_FALSE(IsInstalledFile(u"C:\\App\\readme1.txt", installed));
  EXPECT_FALSE(IsInstalledFile(u"C:\\App\\readme.txt", {}));
}
