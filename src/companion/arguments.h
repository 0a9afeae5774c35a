// The companion's command line: one decimal number, the megabytes to free. Plain functions of
// their arguments: any thread may call, and none fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace calvera::companion {

// The arguments after the program's own name, split by the rules of the C runtime and of
// CommandLineToArgvW: blanks separate arguments outside double quotes; 2n backslashes before a
// quote give n backslashes and the quote opens or closes a quoted part, 2n+1 give n and a
// literal quote; "" inside a quoted part gives a literal quote. The program's name ends at the
// next quote when it begins with one, else at the first blank.
std::vector<std::u16string> SplitArguments(std::u16string_view commandLine);

struct Request {
  enum class Kind {
    kNothing,    // zero or a negative number: nothing to free
    kMegabytes,  // `megabytes` to free, 1 to 1024
    kBad,        // missing, more than one, not a decimal number, or beyond 32 bits
  };
  Kind kind = Kind::kBad;
  std::int32_t megabytes = 0;
  std::int64_t asGiven = 0;  // the number as it was given, for kMegabytes and kNothing
};

// Exactly one argument of an optional sign and one or more decimal digits, whose value fits a
// signed 32-bit integer. Above 1024 the request is cut to 1024.
Request ParseRequest(const std::vector<std::u16string>& arguments);

}  // namespace calvera::companion
