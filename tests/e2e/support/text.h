// Text helpers of the end-to-end tests: UTF-8 for GoogleTest's messages, UTF-16 for Windows.
// Callable from any thread.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace calvera::e2e {

std::string Utf8(std::wstring_view text);
std::wstring Utf16(std::string_view utf8);
// "error 1072: The specified service has been marked for deletion"
std::string ErrorText(DWORD error);

}  // namespace calvera::e2e
