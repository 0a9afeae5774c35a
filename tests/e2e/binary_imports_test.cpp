// The service executables import system libraries only: a LocalSystem service that needed the
// C++ runtime's, libgcc's or winpthread's DLLs would load them from its own folder.
#include <gtest/gtest.h>

#include <regex>

#include "e2e/support/e2e_environment.h"
#include "e2e/support/pe_imports.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

struct BuiltExecutable {
  const char* build;
  std::wstring path;
};

// This build's Calvera.exe and the 32-bit build's beside it (build/win32/bin).
std::vector<BuiltExecutable> Executables() {
  return {{"win64", CalveraExecutable()},
          {"win32", BinDirectory() + L"..\\..\\win32\\bin\\Calvera.exe"}};
}

void PrintTo(const BuiltExecutable& executable, std::ostream* out) {
  *out << executable.build << " " << Utf8(executable.path);
}

class BinaryImports : public testing::TestWithParam<BuiltExecutable> {};

TEST_P(BinaryImports, OnlySystemLibraries) {
  const std::regex allowed(
      "(ADVAPI32|KERNEL32|USER32|SHELL32|ole32|msvcrt|api-ms-win-[a-z0-9-]+)\\.dll",
      std::regex::icase);
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
                           return std::string(param.param.build);
                         });

}  // namespace
}  // namespace calvera::e2e
