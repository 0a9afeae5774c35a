#include "platform/system_error_text.h"

namespace calvera::platform {

std::u16string SystemErrorText(EventLog& eventLog, ErrorCode code) {
  std::u16string text = eventLog.SystemMessage(code);
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace calvera::platform
