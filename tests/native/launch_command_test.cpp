// The end-of-run command split into program and arguments.
#include "integration/launch_command.h"

#include <gtest/gtest.h>

using namespace halberd::integration;

TEST(LaunchCommand, ProgramAndArguments) {
  struct Case {
    std::u16string_view command;
    LaunchCommand split;
  } cases[] = {
      {u"app.exe", {u"app.exe", u""}},
      {u"app.exe /start now", {u"app.exe", u"/start now"}},
      {u"\"C:\\Program Files\\App\\app.exe\" --first-run", {u"C:\\Program Files\\App\\app.exe", u"--first-run"}},
      {u"\"C:\\Program Files\\App\\app.exe\"", {u"C:\\Program Files\\App\\app.exe", u""}},
      {u"  \"a b.exe\"   x  ", {u"a b.exe", u"x"}},
      {u"\"unterminated path", {u"unterminated path", u""}},
      {u"   ", {u"", u""}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitLaunchCommand(c.command), c.split);
}
