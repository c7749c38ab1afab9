// The shared-file and font lists of the uninstall key and the reference-count decision.
#include "uninstall/shared_file_list.h"

#include <gtest/gtest.h>

using namespace halberd::uninstall;

TEST(SharedFileList, ItemsAndTheirMarks) {
  struct Case {
    const char* what;
    std::string value;
    std::vector<SharedFileItem> items;
  };
  const Case cases[] = {
      {"empty", "", {}},
      {"one plain file", "\"C:\\Common\\a.dll\"", {{"C:\\Common\\a.dll", false, false, false}}},
      {"caret: component", "\"C:\\a.dll^\"", {{"C:\\a.dll", true, false, false}}},
      {"space: never delete", "\"C:\\a.dll \"", {{"C:\\a.dll", false, true, false}}},
      {"0xA9: type library", "\"C:\\a.tlb\xA9\"", {{"C:\\a.tlb", false, false, true}}},
      {"marks read from the end: caret, space, 0xA9", "\"C:\\a.dll\xA9 ^\"", {{"C:\\a.dll", true, true, true}}},
      {"marks in another order are part of the path", "\"C:\\a.dll^ \"", {{"C:\\a.dll^", false, true, false}}},
      {"several items", "\"C:\\a.dll^\";\"C:\\b.dll\";\"C:\\c.tlb\xA9\"",
       {{"C:\\a.dll", true, false, false}, {"C:\\b.dll", false, false, false}, {"C:\\c.tlb", false, false, true}}},
      {"a semicolon inside the quotes belongs to the path", "\"C:\\x;y\\a.dll\";\"C:\\b.dll\"",
       {{"C:\\x;y\\a.dll", false, false, false}, {"C:\\b.dll", false, false, false}}},
      {"unquoted items", "C:\\a.dll^;C:\\b.dll", {{"C:\\a.dll", true, false, false}, {"C:\\b.dll", false, false, false}}},
      {"empty items are skipped", ";;\"\";\"C:\\a.dll\";", {{"C:\\a.dll", false, false, false}}},
      {"UTF-8 path ending in \xC3\xA9: the byte belongs to the name", "\"|C:\\caf\xC3\xA9\"",
       {{"|C:\\caf\xC3\xA9", false, false, false}}},
      {"UTF-8 path ending in \xC3\xA9 with the type-library mark", "\"|C:\\caf\xC3\xA9\xA9\"",
       {{"|C:\\caf\xC3\xA9", false, false, true}}},
      {"ANSI text: 0xA9 is always the mark", "\"C:\\caf\xC3\xA9\"", {{"C:\\caf\xC3", false, false, true}}},
      {"an unclosed quote takes the rest", "\"C:\\a.dll^", {{"C:\\a.dll", true, false, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ParseSharedFiles(c.value), c.items);
  }
}

TEST(SharedFileList, FontPairs) {
  EXPECT_EQ(ParseProductFonts("\"My Font (TrueType)\" \"myfont.ttf\" \"Other\" \"|\xC3\xA9.otf\" "),
            (std::vector<FontItem>{{"My Font (TrueType)", "myfont.ttf"}, {"Other", "|\xC3\xA9.otf"}}));
  EXPECT_TRUE(ParseProductFonts("").empty());
  // A name without its file is no pair.
  EXPECT_EQ(ParseProductFonts("\"A\" \"a.ttf\" \"B\" "), (std::vector<FontItem>{{"A", "a.ttf"}}));
}

TEST(SharedFileList, CountDecision) {
  const SharedFileItem plain{"C:\\a.dll", false, false, false};
  const SharedFileItem com{"C:\\a.dll", true, false, false};
  const SharedFileItem tlb{"C:\\a.tlb", false, false, true};
  const SharedFileItem keep{"C:\\a.dll", true, true, false};
  struct Case {
    const char* what;
    SharedFileItem item;
    bool exists;
    uint32_t count;
    SharedFileDecision decision;  // skip, write, new count, stays, unregister COM, type library
  };
  const Case cases[] = {
      {"no count value: not ours", com, false, 0, {true, false, 0, true, false, false}},
      {"count 3 keeps the file with 2", com, true, 3, {false, true, 2, true, false, false}},
      {"count 2 keeps the file with 1", plain, true, 2, {false, true, 1, true, false, false}},
      {"count 1: unregistered and removed", com, true, 1, {false, true, 0, false, true, false}},
      {"count 1, type library", tlb, true, 1, {false, true, 0, false, false, true}},
      {"count 1, plain file", plain, true, 1, {false, true, 0, false, false, false}},
      {"count 0: not written, no longer shared", plain, true, 0, {false, false, 0, false, false, false}},
      {"never to delete: counted down, stays, not unregistered", keep, true, 1, {false, true, 0, true, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DecideSharedFile(c.item, c.exists, c.count), c.decision);
  }
}
