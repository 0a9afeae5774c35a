#include "platform/system_error_text.h"

#include <gtest/gtest.h>

#include "fake/fake_event_log.h"

namespace calvera::platform {
namespace {

using fake::FakeEventLog;

TEST(SystemErrorTextTest, CutsLineEndsBlanksAndFullStopsFromTheEndOnly) {
  FakeEventLog log;
  log.SetSystemMessage(9001, u"Error 3.5 occurred. \t.\r\n");
  log.SetSystemMessage(9002, u" . \x01\r\n");
  log.SetSystemMessage(9003, u"  leading blanks stay");
  log.SetSystemMessage(9004, u"Fin!\x7f");
  const struct {
    platform::ErrorCode code;
    std::u16string text;
  } cases[] = {
      {5, u"Access is denied"},
      {1060, u"The specified service does not exist as an installed service"},
      {1063, u"The service process could not connect to the service controller"},
      {1072, u"The specified service has been marked for deletion"},
      {1073, u"The specified service already exists"},
      {9001, u"Error 3.5 occurred"},
      {9002, u""},
      {9003, u"  leading blanks stay"},
      {9004, u"Fin!\x7f"},
      {4242, u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SystemErrorText(log, c.code), c.text) << c.code;
  }
}

}  // namespace
}  // namespace calvera::platform
