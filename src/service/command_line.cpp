#include "service/command_line.h"

#include <algorithm>

#include "platform/text.h"

namespace calvera::service {

CommandLine::CommandLine(std::vector<std::u16string> arguments)
    : arguments_(std::move(arguments)) {}

bool CommandLine::HasSwitch(std::u16string_view word) const {
  return std::any_of(arguments_.begin(), arguments_.end(), [word](const std::u16string& argument) {
    return !argument.empty() && (argument.front() == u'-' || argument.front() == u'/') &&
           EqualIgnoringAsciiCase(std::u16string_view(argument).substr(1), word);
  });
}

bool CommandLine::Installing() const {
  return HasSwitch(u"INSTALL") || HasSwitch(u"UNINSTALL");
}

}  // namespace calvera::service
