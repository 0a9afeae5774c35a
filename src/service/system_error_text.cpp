#include "service/system_error_text.h"

namespace calvera::service {

std::u16string SystemErrorText(platform::EventLog& eventLog, platform::ErrorCode code) {
  std::u16string text = eventLog.SystemMessage(code);
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace calvera::service
