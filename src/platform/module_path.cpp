#include "platform/module_path.h"

namespace calvera::platform {
namespace {

constexpr char16_t kDelimiters[] = u"\\:";

}  // namespace

std::u16string ExecutableDirectory(Process& process) {
  const std::u16string path = process.ModuleFileName();
  const auto delimiter = path.find_last_of(kDelimiters);
  return delimiter == std::u16string::npos ? std::u16string() : path.substr(0, delimiter + 1);
}

std::u16string ExecutableFileName(Process& process) {
  const std::u16string path = process.ModuleFileName();
  const auto delimiter = path.find_last_of(kDelimiters);
  return delimiter == std::u16string::npos ? path : path.substr(delimiter + 1);
}

}  // namespace calvera::platform
