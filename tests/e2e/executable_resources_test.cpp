// What the executables of both builds say of themselves without being run: the version
// resource, and the message table through which Event Viewer renders their entries. The files
// are loaded as data files, as Event Viewer loads a message file, so this 64-bit program reads
// the i686 images as well.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/support/e2e_environment.h"
#include "e2e/support/event_messages.h"
#include "e2e/support/module_resources.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

struct BuiltExecutable {
  std::string name;  // "win64_Calvera"
  std::wstring path;
  std::wstring fileName;
  std::string description;
};

// Each program with its file description.
struct Program {
  const wchar_t* fileName;
  const char* description;
};
constexpr Program kPrograms[] = {
    {L"Calvera.exe", "Calvera Memory Service"},
    {L"CalveraDefrag.exe", "Calvera Memory Defrag"},
};

std::vector<BuiltExecutable> Executables() {
  std::vector<BuiltExecutable> executables;
  for (const auto& [build, folder] :
       {std::pair{"win64", BinDirectory()}, std::pair{"win32", Win32BinDirectory()}}) {
    for (const Program& program : kPrograms) {
      const std::wstring fileName = program.fileName;
      executables.push_back({build + ("_" + Utf8(fileName.substr(0, fileName.size() - 4))),
                             folder + fileName, fileName, program.description});
    }
  }
  return executables;
}

// The IDs of every source whose message file is `fileName`.
std::vector<DWORD> MessageIds(const std::wstring& fileName) {
  std::vector<DWORD> ids;
  for (const EventSource& source : EventSources()) {
    if (source.executable == fileName)
      ids.insert(ids.end(), source.ids.begin(), source.ids.end());
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

void PrintTo(const BuiltExecutable& executable, std::ostream* out) {
  *out << executable.name << " " << Utf8(executable.path);
}

class ExecutableResources : public testing::TestWithParam<BuiltExecutable> {};

TEST_P(ExecutableResources, VersionResourceNamesTheProductAndItsVersion) {
  const BuiltExecutable& executable = GetParam();
  const std::optional<VersionInfo> info = ReadVersionInfo(executable.path);
  ASSERT_TRUE(info.has_value()) << "no version resource in " << Utf8(executable.path);
  const std::string version = CALVERA_E2E_PRODUCT_VERSION;
  EXPECT_EQ(info->fileVersion, version + ".0");
  EXPECT_EQ(info->productVersion, version + ".0");
  const std::string fileName = Utf8(executable.fileName);
  const std::map<std::string, std::string> expected = {
      {"CompanyName", "Tolvane"},     {"FileDescription", executable.description},
      {"FileVersion", version},       {"InternalName", fileName.substr(0, fileName.size() - 4)},
      {"OriginalFilename", fileName}, {"ProductName", "Calvera"},
      {"ProductVersion", version},
  };
  EXPECT_EQ(info->strings, expected);
}

TEST_P(ExecutableResources, EveryEventIdRendersItsTextInAnyLanguage) {
  const BuiltExecutable& executable = GetParam();
  const std::vector<DWORD> ids = MessageIds(executable.fileName);
  ASSERT_FALSE(ids.empty());
  // The loader's choice, U.S. English, and French, which only the neutral copy answers.
  for (const DWORD language : {DWORD{0}, DWORD{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)},
                               DWORD{MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)}}) {
    for (const DWORD id : ids) {
      DWORD error = ERROR_SUCCESS;
      const std::optional<std::wstring> text =
          FormatEventMessage(executable.path, id, language, kInsertionText, &error);
      ASSERT_TRUE(text.has_value())
          << "event " << id << ", language " << language << ": " << ErrorText(error);
      EXPECT_EQ(Utf8(*text), Utf8(kInsertionText)) << "event " << id << ", language " << language;
    }
  }
}

TEST_P(ExecutableResources, AnIdOutsideTheTableIsNotFound) {
  DWORD error = ERROR_SUCCESS;
  const DWORD unknown = MessageIds(GetParam().fileName).back() + 1;
  EXPECT_FALSE(FormatEventMessage(GetParam().path, unknown, 0, kInsertionText, &error));
  EXPECT_EQ(error, DWORD{ERROR_MR_MID_NOT_FOUND}) << ErrorText(error);
}

INSTANTIATE_TEST_SUITE_P(,
                         ExecutableResources,
                         testing::ValuesIn(Executables()),
                         [](const testing::TestParamInfo<BuiltExecutable>& param) {
                           return param.param.name;
                         });

}  // namespace
}  // namespace calvera::e2e
