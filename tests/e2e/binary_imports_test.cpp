// The executables import system libraries only: a LocalSystem service, or the companion it
// starts, that needed the C++ runtime's, libgcc's or winpthread's DLLs would load them from its
// own folder. The companion imports less than the service: kernel32, advapi32 and the C
// runtime, its newer entry points looked up at run time.
#include <gtest/gtest.h>

#include <regex>

#include "e2e/support/e2e_environment.h"
#include "e2e/support/pe_imports.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

constexpr char kServiceLibraries[] =
    "(ADVAPI32|KERNEL32|USER32|SHELL32|ole32|msvcrt|api-ms-win-[a-z0-9-]+)\\.dll";
constexpr char kCompanionLibraries[] = "(ADVAPI32|KERNEL32|msvcrt)\\.dll";

struct BuiltExecutable {
  const char* name;
  std::wstring path;
  const char* allowed;
};

// This build's executables and the 32-bit build's beside them (build/win32/bin).
std::vector<BuiltExecutable> Executables() {
  const std::wstring win32 = Win32BinDirectory();
  return {{"win64_Calvera", CalveraExecutable(), kServiceLibraries},
          {"win32_Calvera", win32 + L"Calvera.exe", kServiceLibraries},
          {"win64_CalveraDefrag", RealCompanion(), kCompanionLibraries},
          {"win32_CalveraDefrag", win32 + L"CalveraDefrag.exe", kCompanionLibraries}};
}

void PrintTo(const BuiltExecutable& executable, std::ostream* out) {
  *out << executable.name << " " << Utf8(executable.path);
}

class BinaryImports : public testing::TestWithParam<BuiltExecutable> {};

TEST_P(BinaryImports, OnlySystemLibraries) {
  const std::regex allowed(GetParam().allowed, std::regex::icase);
  const auto imports = ImportedLibraries(GetParam().path);
  ASSERT_TRUE(imports.has_value()) << "cannot read the imports of " << Utf8(GetParam().path);
  EXPECT_FALSE(imports->empty());
  for (const std::string& library : *imports) {
    EXPECT_TRUE(std::regex_match(library, allowed))
        << Utf8(GetParam().path) << " imports " << library;
  }
}

INSTANTIATE_TEST_SUITE_P(,
                         BinaryImports,
                         testing::ValuesIn(Executables()),
                         [](const testing::TestParamInfo<BuiltExecutable>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace calvera::e2e
