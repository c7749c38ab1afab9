// The file-system redirection of a 64-bit product: switched off for the installing thread, and on
// again around every load of a system library on that thread, so that the 32-bit DLL is loaded.
// The system is a model: redirection per thread, and a load that takes the DLL the thread's
// redirection state gives it.
#include "foundation/fs_redirection.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace halberd;

namespace {

struct ModelSystem {
  std::map<uint32_t, bool> off;  // per thread; missing: on
  uint32_t thread = 1;
  bool refuse_disable = false;
  int cookies = 0;
  int disables = 0;

  RedirectionSwitch Switch() {
    RedirectionSwitch s;
    s.disable = [this](void** cookie) {
      ++disables;
      if (refuse_disable || off[thread]) return false;
      off[thread] = true;
      *cookie = reinterpret_cast<void*>(uintptr_t(++cookies));
      return true;
    };
    s.revert = [this](void* cookie) {
      if (!off[thread] || reinterpret_cast<uintptr_t>(cookie) != uintptr_t(cookies)) return false;
      off[thread] = false;
      return true;
    };
    s.current_thread = [this] { return thread; };
    return s;
  }
  // What a load of "System32\x.dll" brings into this 32-bit process.
  std::string Load() { return off[thread] ? "64-bit" : "32-bit"; }
};

}  // namespace

TEST(FsRedirection, SystemLibrariesAreLoadedWithRedirectionOn) {
  ModelSystem system;
  FsRedirection redirection(system.Switch());
  ASSERT_TRUE(redirection.SwitchOff());
  ASSERT_TRUE(redirection.SwitchOff());  // a second time changes nothing
  EXPECT_EQ(system.disables, 1);
  EXPECT_EQ(system.Load(), "64-bit");  // what a plain load would do
  {
    RedirectionOnScope on(redirection);
    EXPECT_EQ(system.Load(), "32-bit");
    {
      RedirectionOnScope nested(redirection);
      EXPECT_EQ(system.Load(), "32-bit");
    }
    EXPECT_EQ(system.Load(), "32-bit");  // the inner scope leaves the outer one's state
  }
  // Off again for the installation's file operations, with a cookie that reverts it.
  EXPECT_TRUE(redirection.IsOff());
  EXPECT_TRUE(system.off[1]);
  EXPECT_FALSE(redirection.LostOnReturn());
  redirection.Restore();
  EXPECT_FALSE(system.off[1]);
  EXPECT_FALSE(redirection.IsOff());
  {
    RedirectionOnScope on(redirection);
    EXPECT_EQ(system.Load(), "32-bit");
  }
  EXPECT_FALSE(system.off[1]);  // a scope never switches off what was on
}

TEST(FsRedirection, OtherThreadsAndRefusals) {
  struct Case {
    const char* name;
    bool refuse_disable;     // 32-bit Windows
    bool other_thread;       // the load runs on a thread that never switched it off
    bool off_after;          // the installing thread's redirection after the scope
    bool lost;
  };
  for (Case c : {Case{"refused", true, false, false, false}, Case{"other thread", false, true, true, false}}) {
    SCOPED_TRACE(c.name);
    ModelSystem system;
    system.refuse_disable = c.refuse_disable;
    FsRedirection redirection(system.Switch());
    EXPECT_EQ(redirection.SwitchOff(), !c.refuse_disable);
    if (c.other_thread) system.thread = 2;
    {
      RedirectionOnScope on(redirection);
      EXPECT_EQ(system.Load(), "32-bit");
    }
    EXPECT_EQ(system.off[1], c.off_after);
    EXPECT_EQ(redirection.LostOnReturn(), c.lost);
  }
  // Switching back off after the load fails: the thread runs on with redirection on, and says so.
  ModelSystem system;
  FsRedirection redirection(system.Switch());
  ASSERT_TRUE(redirection.SwitchOff());
  {
    RedirectionOnScope on(redirection);
    system.refuse_disable = true;
  }
  EXPECT_FALSE(redirection.IsOff());
  EXPECT_TRUE(redirection.LostOnReturn());
  EXPECT_FALSE(system.off[1]);
}
