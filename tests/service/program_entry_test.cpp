#include "service/program_entry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <new>
#include <string>
#include <vector>

#include "config/stored_settings.h"
#include "fake/fake_platform.h"
#include "fake/forwarding.h"
#include "platform/text.h"
#include "service/event_ids.h"

namespace calvera::service {
namespace {

using fake::FakeServiceControlManager;
using platform::RegistryRoot;
using Arguments = std::vector<std::u16string>;

const std::u16string kServiceKey = u"SYSTEM\\CurrentControlSet\\Services\\Calvera";
const std::u16string kEnglishDescription =
    u"Maintains memory performance by defragmenting used memory and allocating it back to the "
    u"computer system.";

class ProgramEntryTest : public ::testing::Test {
 protected:
  int Run(Arguments arguments) { return ProgramEntry(fake_.platform, std::move(arguments)); }
  std::vector<std::u16string> BoxTexts() const {
    std::vector<std::u16string> texts;
    for (const auto& box : fake_.process.MessageBoxes())
      texts.push_back(box.text);
    return texts;
  }
  void SetLanguage(const std::u16string& language) {
    config::StoreSetting(fake_.registry, u"Language", language);
  }
  void ExpectEverythingClosed() {
    EXPECT_EQ(fake_.services.OpenHandleCount(), 0u);
    EXPECT_EQ(fake_.registry.OpenHandleCount(), 0u);
    EXPECT_EQ(fake_.eventLog.OpenSourceCount(), 0u);
    EXPECT_EQ(fake_.windowing.WindowCount(), 0u);
  }

  fake::FakePlatform fake_;
};

TEST_F(ProgramEntryTest, ASilentInstallationCreatesTheEntryAndShowsNothing) {
  fake_.process.SetModuleFileName(u"C:\\Program Files\\Calvera\\Calvera.exe");
  EXPECT_EQ(Run({u"/INSTALL", u"-silent"}), 0);
  const auto entry = fake_.services.FindEntry(u"Calvera");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->displayName, u"Calvera Memory Service");
  EXPECT_EQ(entry->serviceType, platform::kServiceWin32OwnProcess);
  EXPECT_EQ(entry->startType, platform::kServiceAutoStart);
  EXPECT_EQ(entry->errorControl, platform::kServiceErrorNormal);
  EXPECT_EQ(entry->binaryPathName, u"\"C:\\Program Files\\Calvera\\Calvera.exe\"");
  EXPECT_EQ(entry->loadOrderGroup, u"");
  EXPECT_TRUE(entry->dependencies.empty());
  EXPECT_FALSE(entry->serviceStartName.has_value());
  EXPECT_EQ(fake_.registry.GetString(RegistryRoot::kLocalMachine, kServiceKey, u"Description"),
            kEnglishDescription);
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(fake_.process.CoInitializeCalls(), 0);  // installation runs never initialize
  ExpectEverythingClosed();
}

TEST_F(ProgramEntryTest, InstallationAndRemovalReportTheirOutcome) {
  fake_.process.SetModuleFileName(u"C:\\Calvera\\Calvera.exe");
  EXPECT_EQ(Run({u"/install"}), 0);
  EXPECT_EQ(fake_.services.FindEntry(u"Calvera")->binaryPathName, u"C:\\Calvera\\Calvera.exe");
  EXPECT_EQ(Run({u"/install", u"/silent"}), 1);  // the entry exists: 1073
  EXPECT_EQ(Run({u"/uninstall"}), 0);
  EXPECT_EQ(Run({u"/uninstall", u"/silent"}), 1);  // no entry: 1060
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::u16string>{
                u"Service installed successfully",
                u"Service \"Calvera Memory Service\" failed to install with error: \"System "
                u"Error.  Code: 1073.\r\nThe specified service already exists\"",
                u"Service uninstalled successfully",
                u"Service \"Calvera\" failed to uninstall with error: \"System Error.  Code: "
                u"1060.\r\nThe specified service does not exist as an installed service\"",
            }));
  const auto boxes = fake_.process.MessageBoxes();
  EXPECT_EQ(boxes[0].caption, u"Information");
  EXPECT_EQ(boxes[0].type, platform::kMbIconInformation);
  EXPECT_EQ(boxes[1].caption, u"Error");
  EXPECT_EQ(boxes[1].type, platform::kMbIconError);
  ExpectEverythingClosed();
}

// What Event Viewer and the manager's recovery need: the sources point at the executables
// where they stand, and a failing service is restarted twice. Removal takes the sources away,
// also when there is no entry left to delete.
TEST_F(ProgramEntryTest, InstallationRegistersTheSourcesAndRecoveryWhichRemovalTakesAway) {
  const std::u16string sources = u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
  fake_.process.SetModuleFileName(u"D:\\Tools\\Calvera 2\\Calvera.exe");
  ASSERT_EQ(Run({u"/install", u"/silent"}), 0);
  const auto entry = fake_.services.FindEntry(u"Calvera");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->resetPeriodSeconds, 86400u);
  ASSERT_EQ(entry->recoveryActions.size(), 3u);
  const std::pair<std::uint32_t, std::uint32_t> actions[] = {
      {platform::kScActionRestart, 60000}, {platform::kScActionRestart, 60000}, {0, 0}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(entry->recoveryActions[i].type, actions[i].first);
    EXPECT_EQ(entry->recoveryActions[i].delayMilliseconds, actions[i].second);
  }
  const std::pair<const char16_t*, const char16_t*> registered[] = {
      {u"Calvera", u"D:\\Tools\\Calvera 2\\Calvera.exe"},
      {u"Calvera.exe", u"D:\\Tools\\Calvera 2\\Calvera.exe"},
      {u"CalveraDefrag", u"D:\\Tools\\Calvera 2\\CalveraDefrag.exe"}};
  for (const auto& [name, file] : registered) {
    SCOPED_TRACE(ToUtf8(name));
    const auto messageFile =
        fake_.registry.GetValue(RegistryRoot::kLocalMachine, sources + name, u"EventMessageFile");
    ASSERT_TRUE(messageFile);
    EXPECT_EQ(messageFile->type, platform::kRegExpandSz);
    const std::u16string text = std::u16string(file) + u'\0';
    EXPECT_EQ(messageFile->data.size(), text.size() * 2);
    EXPECT_EQ(std::memcmp(messageFile->data.data(), text.data(), text.size() * 2), 0);
    EXPECT_EQ(
        fake_.registry.GetDword(RegistryRoot::kLocalMachine, sources + name, u"TypesSupported"),
        7u);
  }
  EXPECT_TRUE(fake_.eventLog.Entries().empty());

  EXPECT_EQ(Run({u"/uninstall", u"/silent"}), 0);
  for (const auto& [name, file] : registered)
    EXPECT_FALSE(fake_.registry.KeyExists(RegistryRoot::kLocalMachine, sources + name));
  // A source left by an earlier installation goes with a removal that finds no entry.
  fake_.registry.SetDword(RegistryRoot::kLocalMachine, sources + u"Calvera", u"TypesSupported", 7);
  EXPECT_EQ(Run({u"/uninstall", u"/silent"}), 1);
  EXPECT_FALSE(fake_.registry.KeyExists(RegistryRoot::kLocalMachine, sources + u"Calvera"));
  ExpectEverythingClosed();
}

TEST_F(ProgramEntryTest, TheCaptionsFollowTheLanguageSetting) {
  const struct {
    std::u16string language;
    std::u16string displayName;
    std::u16string description;
  } cases[] = {
      {u"KOREAN", FromUtf8("Calvera 서비스"),
       FromUtf8("사용된 RAM을 조각모음하고 시스템에 할당시켜 RAM 성능을 유지합니다.")},
      {u"Russian", FromUtf8("Calvera Служба Памяти"),
       FromUtf8("Поддерживает производительность подсистемы памяти за счет дефрагментации "
                "используемой памяти и выделение его обратно на компьютер.")},
      {u"klingon", u"Calvera", u""},  // no table: the service name and an empty description
  };
  for (const auto& c : cases) {
    fake::FakePlatform fake;
    config::StoreSetting(fake.registry, u"Language", c.language);
    EXPECT_EQ(ProgramEntry(fake.platform, {u"/install"}), 0) << ToUtf8(c.language);
    EXPECT_EQ(fake.services.FindEntry(u"Calvera")->displayName, c.displayName);
    const auto description =
        fake.registry.GetString(RegistryRoot::kLocalMachine, kServiceKey, u"Description");
    EXPECT_EQ(description, c.description);
    EXPECT_EQ(fake.process.MessageBoxes().size(), 1u);  // the success box
  }
}

TEST_F(ProgramEntryTest, AManagerThatCannotBeOpenedEndsInTheApplicationErrorBox) {
  for (const Arguments& arguments :
       {Arguments{u"/install"}, Arguments{u"/uninstall", u"/silent"}}) {
    fake::FakePlatform fake;
    fake.services.FailCall(FakeServiceControlManager::Call::kOpenManager,
                           platform::kErrorAccessDenied);
    EXPECT_EQ(ProgramEntry(fake.platform, arguments), 1);
    const auto boxes = fake.process.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"Application Error");
    EXPECT_EQ(boxes[0].type, platform::kMbIconError | platform::kMbTaskModal);
    EXPECT_EQ(boxes[0].text.rfind(u"Exception WindowsCallFailure in module Calvera.exe at ", 0),
              0u);
    EXPECT_NE(boxes[0].text.find(u".\r\nSystem Error.  Code: 5.\r\nAccess is denied.\r\n"),
              std::u16string::npos);
  }
}

// An installer's custom action runs where nobody can answer a box: with /quiet, the outcome is
// only the exit code and, for a failure, an error entry under the executable's name.
TEST_F(ProgramEntryTest, AQuietInstallationOrRemovalShowsNoBoxAndLogsItsFailures) {
  fake_.process.SetModuleFileName(u"C:\\Calvera\\Calvera.exe");
  const struct {
    Arguments arguments;
    int exitCode;
    std::vector<std::u16string> entries;  // under "Calvera.exe", each of the quiet-failure ID
  } steps[] = {
      {{u"/install", u"/quiet"}, 0, {}},
      {{u"-QUIET", u"-install"},
       1,
       {u"Service \"Calvera Memory Service\" failed to install with error: \"System Error.  "
        u"Code: 1073.\r\nThe specified service already exists\""}},
      {{u"/uninstall", u"/quiet", u"/silent"}, 0, {}},
      {{u"/uninstall", u"/Quiet"},
       1,
       {u"Service \"Calvera\" failed to uninstall with error: \"System Error.  Code: "
        u"1060.\r\nThe specified service does not exist as an installed service\""}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(ToUtf8(step.arguments[0] + u" " + step.arguments[1]));
    const std::size_t before = fake_.eventLog.Entries().size();
    EXPECT_EQ(Run(step.arguments), step.exitCode);
    const auto entries = fake_.eventLog.Entries();
    std::vector<std::u16string> texts;
    for (std::size_t i = before; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].source, u"Calvera.exe");
      EXPECT_EQ(entries[i].type, platform::kEventlogErrorType);
      EXPECT_EQ(entries[i].id, kQuietInstallationFailedEvent);
      texts.push_back(entries[i].text);
    }
    EXPECT_EQ(texts, step.entries);
  }
  EXPECT_TRUE(BoxTexts().empty());
  ExpectEverythingClosed();
}

TEST_F(ProgramEntryTest, AQuietRunWhoseManagerCannotBeOpenedLogsInsteadOfTheBox) {
  fake_.services.FailCall(FakeServiceControlManager::Call::kOpenManager,
                          platform::kErrorAccessDenied);
  EXPECT_EQ(Run({u"/install", u"/quiet"}), 1);
  EXPECT_TRUE(BoxTexts().empty());
  const auto entries = fake_.eventLog.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].source, u"Calvera.exe");
  EXPECT_EQ(entries[0].id, kMainThreadFailedEvent);
  EXPECT_NE(entries[0].text.find(u"Code: 5."), std::u16string::npos) << ToUtf8(entries[0].text);
  ExpectEverythingClosed();
}

// A service run has no one at its desktop: a failure that leaves the run goes to the event
// log, and the process ends instead of waiting in a box that nobody can close.
TEST_F(ProgramEntryTest, AFailureOutOfAServiceRunIsLoggedInsteadOfShown) {
  // Memory runs out for the text of the dispatcher's failure, after the loop.
  struct TextlessEventLog : fake::ForwardingEventLog {
    using ForwardingEventLog::ForwardingEventLog;
    std::u16string SystemMessage(platform::ErrorCode) override { throw std::bad_alloc(); }
  } eventLog(fake_.eventLog);
  platform::Platform platform{fake_.registry, fake_.libraries, fake_.system,    fake_.process,
                              fake_.services, eventLog,        fake_.windowing, fake_.resources};
  EXPECT_EQ(ProgramEntry(platform, {}), 1);
  EXPECT_EQ(fake_.eventLog.Texts(u"Calvera.exe"), std::vector<std::u16string>{u"std::bad_alloc"});
  EXPECT_TRUE(BoxTexts().empty());
  ExpectEverythingClosed();
}

TEST_F(ProgramEntryTest, TheApplicationErrorTextEndsTheMessageWithOneFullStop) {
  const struct {
    std::u16string message;
    std::u16string ending;  // after the address line
  } cases[] = {
      {u"Access is denied", u".\r\nAccess is denied.\r\n"},
      {u"Access is denied.", u".\r\nAccess is denied.\r\n"},
      {u"", u".\r\n\r\n"},  // no message: nothing to end
  };
  for (const auto& c : cases) {
    fake::FakePlatform fake;
    ShowApplicationError(fake.process, u"Exception", c.message);
    ASSERT_EQ(fake.process.MessageBoxes().size(), 1u);
    const std::u16string text = fake.process.MessageBoxes()[0].text;
    ASSERT_GE(text.size(), c.ending.size());
    EXPECT_EQ(text.substr(text.size() - c.ending.size()), c.ending) << ToUtf8(text);
    EXPECT_EQ(text.find(u".\r\n."), std::u16string::npos) << ToUtf8(text);
  }
}

TEST_F(ProgramEntryTest, AStartByHandLogsTheDispatchersFailureAndExitsCleanly) {
  EXPECT_EQ(Run({u"/SILENT"}), 0);  // SILENT alone is a service run
  EXPECT_EQ(fake_.eventLog.Texts(u"Calvera.exe"),
            std::vector<std::u16string>{
                u"The service process could not connect to the service controller"});
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(fake_.process.CoInitializeCalls(), 1);
  EXPECT_EQ(fake_.process.CoUninitializeCalls(), 1);
  ExpectEverythingClosed();
}

TEST_F(ProgramEntryTest, AServiceRunEndsWhenTheManagerStopsTheService) {
  fake_.services.SetStartedByManager(true);
  fake_.services.RequestStart(u"Calvera");
  auto stopper = std::async(std::launch::async, [this] {
    const auto running = [](const std::vector<FakeServiceControlManager::StatusReport>& reports) {
      return !reports.empty() && reports.back().status.currentState == 4;
    };
    if (!fake_.services.WaitForReports(running, std::chrono::seconds(10)))
      return false;
    return fake_.services.SendControl(u"Calvera", 1) == 0;
  });
  EXPECT_EQ(Run({}), 0);
  EXPECT_TRUE(stopper.get());
  const auto reports = fake_.services.Reports();
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().status.currentState, 1u);  // STOPPED
  EXPECT_TRUE(fake_.eventLog.Entries().empty());
  ExpectEverythingClosed();
}

}  // namespace
}  // namespace calvera::service
