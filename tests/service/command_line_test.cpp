#include "service/command_line.h"

#include <gtest/gtest.h>

namespace calvera::service {
namespace {

TEST(CommandLineTest, SwitchesNeedAPrefixAndTheWholeWordInAnyCase) {
  const struct {
    std::vector<std::u16string> arguments;
    bool install, uninstall, silent;
  } cases[] = {
      {{u"/install"}, true, false, false},
      {{u"-INSTALL"}, true, false, false},
      {{u"/Install"}, true, false, false},
      {{u"install"}, false, false, false},
      {{u"--install"}, false, false, false},
      {{u"/install:yes"}, false, false, false},
      {{u"/install=1"}, false, false, false},
      {{u"/UNINSTALL", u"/SILENT"}, false, true, true},
      {{u"-uninstall", u"-silent"}, false, true, true},
      {{u"/Silent", u"/UnInstall"}, false, true, true},
      {{u"", u"x", u"/INSTALL", u"/UNINSTALL"}, true, true, false},
      {{u"/SILENT"}, false, false, true},
      {{u"/"}, false, false, false},
      {{u"/\u0130NSTALL"}, false, false, false},  // a letter outside ASCII matches only itself
  };
  for (const auto& c : cases) {
    const CommandLine line(c.arguments);
    EXPECT_EQ(line.HasSwitch(u"INSTALL"), c.install);
    EXPECT_EQ(line.HasSwitch(u"UNINSTALL"), c.uninstall);
    EXPECT_EQ(line.HasSwitch(u"SILENT"), c.silent);
    EXPECT_EQ(line.Installing(), c.install || c.uninstall);
  }
}

}  // namespace
}  // namespace calvera::service
