// Installation and removal by the executable's own switches, the entry they leave with the
// Service Control Manager, the start-up correction and a start by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "e2e/support/event_log_channel.h"
#include "e2e/support/event_source_keys.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

constexpr wchar_t kEnglishDisplayName[] = L"Calvera Memory Service";
constexpr wchar_t kEnglishDescription[] =
    L"Maintains memory performance by defragmenting used memory and allocating it back to the "
    L"computer system.";

class Installation : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(EventLogChannel::Session().ErrorsSince(errorsMark_, expectedErrorsFrom_).size(), 0u)
        << "event-log errors:"
        << Describe(EventLogChannel::Session().ErrorsSince(errorsMark_, expectedErrorsFrom_));
  }

  ServiceConfig Config() {
    ServiceConfig config;
    DWORD error = ERROR_SUCCESS;
    ServiceController controller = service_.Controller();
    EXPECT_TRUE(controller.IsOpen()) << ErrorText(controller.OpenError());
    EXPECT_TRUE(controller.IsOpen() && controller.QueryConfig(&config, &error)) << ErrorText(error);
    return config;
  }

  const std::uint64_t errorsMark_ = EventLogChannel::Session().Mark();
  std::vector<DWORD> expectedErrorsFrom_;
  ScopedInstalledService service_{L"Calvera Installation"};
};

TEST_F(Installation, SilentInstallCreatesTheEntry) {
  ASSERT_TRUE(service_.Install(L"/install /silent"));
  const ServiceConfig config = Config();
  EXPECT_EQ(config.type, DWORD{SERVICE_WIN32_OWN_PROCESS});
  EXPECT_EQ(config.startType, DWORD{SERVICE_AUTO_START});
  EXPECT_EQ(config.errorControl, DWORD{SERVICE_ERROR_NORMAL});
  // The folder's name has a blank, so the path is quoted.
  EXPECT_EQ(Utf8(config.binaryPath), Utf8(L"\"" + service_.Executable() + L"\""));
  EXPECT_EQ(Utf8(config.account), "LocalSystem");
  EXPECT_EQ(Utf8(config.displayName), Utf8(kEnglishDisplayName));
  EXPECT_EQ(Utf8(config.registryDescription), Utf8(kEnglishDescription));
}

// Event Viewer finds each source's texts in the installed executables; removal takes the
// sources away with the entry.
// (With the real companion beside it, whose message table the CalveraDefrag source names.)
TEST(InstallationEventSources, InstallRegistersThemAndRemovalDeletesThem) {
  ScopedInstalledService service(L"Calvera Event Sources", RealCompanion());
  ASSERT_TRUE(EventSourcesAbsent()) << "before the installation";
  ASSERT_TRUE(service.Install(L"/install /silent"));
  EXPECT_TRUE(EventSourcesRegistered(service.Folder()));
  ASSERT_TRUE(service.Uninstall());
  EXPECT_TRUE(EventSourcesAbsent()) << "after the removal";
}

TEST_F(Installation, InstallingTwiceFailsAndLeavesTheEntry) {
  ASSERT_TRUE(service_.Install());
  const ChildResult second = service_.Run(L"/install /silent");
  EXPECT_TRUE(second.ended && second.exitCode == 1) << second.Describe();
  EXPECT_EQ(Utf8(Config().displayName), Utf8(kEnglishDisplayName));
}

TEST_F(Installation, RemovalRunsTheStartupCorrectionAndRemovesTheEntry) {
  ASSERT_TRUE(service_.Install());
  ASSERT_EQ(service_.Settings().WriteDword(L"LoadCalvera", 0), ERROR_SUCCESS);
  ASSERT_EQ(service_.Settings().WriteDword(L"DefragMemory", 1), ERROR_SUCCESS);

  const ChildResult removal = service_.Run(L"/uninstall /silent");
  EXPECT_TRUE(removal.ended && removal.exitCode == 0) << removal.Describe();
  // LoadCalvera false makes every start of the executable clear DefragMemory.
  EXPECT_EQ(service_.Settings().Read(L"DefragMemory"), (RegistryValue{REG_DWORD, DwordData(0)}));
  EXPECT_TRUE(service_.WaitUntilRemoved(Milliseconds(10000)));
  DWORD error = ERROR_SUCCESS;
  EXPECT_FALSE(ServiceController::Exists(kServiceName, &error));
  EXPECT_EQ(ServiceController(kServiceName).OpenError(), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});

  const ChildResult again = service_.Run(L"/uninstall /silent");
  EXPECT_TRUE(again.ended && again.exitCode == 1) << "removing twice: " << again.Describe();
}

// Started without a switch and not by the manager, the dispatcher fails with 1063 (Wine takes
// about 10 s to say so): one event-log entry, no window, exit code 0.
TEST_F(Installation, AStartByHandLogsTheDispatchersFailureAndExitsWith0) {
  const std::uint64_t mark = EventLogChannel::Session().Mark();
  const ChildResult byHand =
      RunToEnd(service_.Executable(), L"", Deadline::After(Milliseconds(60000)));
  expectedErrorsFrom_.push_back(byHand.processId);
  EXPECT_TRUE(byHand.ended && byHand.exitCode == 0) << byHand.Describe();
  std::vector<ChannelLine> entries;
  for (const ChannelLine& line : EventLogChannel::Session().ErrorsSince(mark)) {
    if (line.processId == byHand.processId)
      entries.push_back(line);
  }
  ASSERT_EQ(entries.size(), 1u) << "entries of the start by hand:" << Describe(entries);
  std::string text = entries[0].text;
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  EXPECT_TRUE(text.find("1063") != std::string::npos || text.find("connect") != std::string::npos)
      << entries[0].text;
}

}  // namespace
}  // namespace calvera::e2e
