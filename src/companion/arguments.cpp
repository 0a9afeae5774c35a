#include "companion/arguments.h"

#include <limits>

#include "companion/freeing_policy.h"

namespace calvera::companion {
namespace {

bool IsBlank(char16_t unit) {
  return unit == u' ' || unit == u'\t';
}

// Past the program's name, where the arguments begin.
std::size_t SkipProgramName(std::u16string_view line) {
  if (!line.empty() && line.front() == u'"') {
    const std::size_t close = line.find(u'"', 1);
    return close == std::u16string_view::npos ? line.size() : close + 1;
  }
  std::size_t end = 0;
  while (end < line.size() && !IsBlank(line[end]))
    ++end;
  return end;
}

}  // namespace

std::vector<std::u16string> SplitArguments(std::u16string_view line) {
  std::vector<std::u16string> arguments;
  std::size_t at = SkipProgramName(line);
  for (;;) {
    while (at < line.size() && IsBlank(line[at]))
      ++at;
    if (at >= line.size())
      return arguments;
    std::u16string argument;
    bool quoted = false;
    while (at < line.size() && (quoted || !IsBlank(line[at]))) {
      std::size_t backslashes = 0;
      while (at < line.size() && line[at] == u'\\') {
        ++backslashes;
        ++at;
      }
      if (at < line.size() && line[at] == u'"') {
        argument.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) {
          argument.push_back(u'"');
        } else if (quoted && at + 1 < line.size() && line[at + 1] == u'"') {
          argument.push_back(u'"');
          ++at;
        } else {
          quoted = !quoted;
        }
        ++at;
      } else {
        argument.append(backslashes, u'\\');
        if (at < line.size() && (quoted || !IsBlank(line[at])))
          argument.push_back(line[at++]);
      }
    }
    arguments.push_back(std::move(argument));
  }
}

Request ParseRequest(const std::vector<std::u16string>& arguments) {
  Request request;
  if (arguments.size() != 1)
    return request;
  const std::u16string& text = arguments.front();
  std::size_t at = 0;
  const bool negative = !text.empty() && text[0] == u'-';
  if (!text.empty() && (text[0] == u'-' || text[0] == u'+'))
    ++at;
  if (at == text.size())
    return request;
  std::int64_t value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < u'0' || text[at] > u'9')
      return request;
    value = value * 10 + (text[at] - u'0');
    // Beyond 32 bits already: no need to read on and risk the 64-bit limit.
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
      return request;
  }
  value = negative ? -value : value;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return request;
  }
  request.asGiven = value;
  if (value <= 0) {
    request.kind = Request::Kind::kNothing;
    return request;
  }
  request.kind = Request::Kind::kMegabytes;
  request.megabytes = static_cast<std::int32_t>(
      value > kLargestRequestMegabytes ? kLargestRequestMegabytes : value);
  return request;
}

}  // namespace calvera::companion
