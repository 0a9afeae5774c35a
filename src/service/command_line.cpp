#include "service/command_line.h"

#include <algorithm>

namespace calvera::service {
namespace {

char16_t FoldCase(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return FoldCase(x) == FoldCase(y); });
}

}  // namespace

CommandLine::CommandLine(std::vector<std::u16string> arguments)
    : arguments_(std::move(arguments)) {}

bool CommandLine::HasSwitch(std::u16string_view word) const {
  return std::any_of(arguments_.begin(), arguments_.end(), [word](const std::u16string& argument) {
    return !argument.empty() && (argument.front() == u'-' || argument.front() == u'/') &&
           EqualIgnoringCase(std::u16string_view(argument).substr(1), word);
  });
}

bool CommandLine::Installing() const {
  return HasSwitch(u"INSTALL") || HasSwitch(u"UNINSTALL");
}

}  // namespace calvera::service
