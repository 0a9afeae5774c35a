#include "service/event_logger.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fake/fake_event_log.h"
#include "service/failure_texts.h"

namespace calvera::service {
namespace {

using fake::FakeEventLog;

TEST(EventLoggerTest, RegistersItsSourceWithTheFirstEntryOnlyAndReleasesItAtTheEnd) {
  FakeEventLog log;
  {
    TEventLogger logger(log, u"Calvera.exe");
    EXPECT_EQ(log.RegisteredCount(), 0);
    logger.LogMessage(u"first");
    logger.LogMessage(u"second", 4, 2, 77);
    EXPECT_EQ(log.RegisteredCount(), 1);
    const std::vector<FakeEventLog::Entry> expected = {{u"Calvera.exe", 1, 0, 0, u"first"},
                                                       {u"Calvera.exe", 4, 2, 77, u"second"}};
    EXPECT_EQ(log.Entries(), expected);
  }
  EXPECT_EQ(log.DeregisteredCount(), 1);
  EXPECT_EQ(log.OpenSourceCount(), 0u);
}

TEST(EventLoggerTest, FailingEventLogIsNotReportedAndRegistrationIsTriedAgain) {
  FakeEventLog log;
  TEventLogger logger(log, u"Calvera");
  log.FailCall(FakeEventLog::Call::kRegisterSource, true);
  logger.LogMessage(u"lost");
  log.FailCall(FakeEventLog::Call::kRegisterSource, false);
  log.FailCall(FakeEventLog::Call::kReport, true);
  logger.LogMessage(u"lost too");
  log.FailCall(FakeEventLog::Call::kReport, false);
  logger.LogMessage(u"kept");
  EXPECT_EQ(log.Texts(u"Calvera"), std::vector<std::u16string>{u"kept"});
  EXPECT_EQ(log.RegisteredCount(), 1);
}

TEST(FailureMessagesTest, TextsOfTheFailureEntries) {
  EXPECT_EQ(ServiceFailedOn(u"start", u"no disk"), u"Service failed on start: no disk");
  EXPECT_EQ(ServiceFailedInCustomMessage(128, u"bad"),
            u"Service failed in custom message(128): bad");
  const std::u16string_view names[] = {u"",         u"stop", u"pause", u"continue", u"interrogate",
                                       u"shutdown", u""};
  for (std::uint32_t code = 0; code < 7; ++code) {
    EXPECT_EQ(ControlActionName(code), names[code]) << code;
  }
}

TEST(FailureMessagesTest, FailureTextComesFromTheFailureBeingHandled) {
  std::u16string text;
  try {
    throw std::runtime_error(
        "\xc3\xa9"
        "chec");
  } catch (...) {
    text = CurrentFailureText();
  }
  EXPECT_EQ(text, u"\u00e9chec");
  try {
    throw 42;
  } catch (...) {
    text = CurrentFailureText();
  }
  EXPECT_EQ(text, u"Unknown failure");
}

}  // namespace
}  // namespace calvera::service
