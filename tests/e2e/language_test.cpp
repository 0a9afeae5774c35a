// The captions of an installation under every Language setting: the five tables, and the
// hostile texts and types a desktop application or a user could leave there. Language is read
// only at installation.
#include <gtest/gtest.h>

#include "e2e/support/event_log_channel.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

// UTF-8, as the tables' own texts read.
struct Captions {
  const char* displayName;
  const char* description;
};
const Captions kEnglish{"Calvera Memory Service",
                        "Maintains memory performance by defragmenting used memory and "
                        "allocating it back to the computer system."};
const Captions kFrench{"Calvera Service Mémoire",
                       "Maintenant les performances en défragmentant la mémoire utilisée et la "
                       "ré-allouer au système."};
const Captions kKorean{"Calvera 서비스",
                       "사용된 RAM을 조각모음하고 시스템에 할당시켜 RAM 성능을 유지합니다."};
const Captions kRussian{"Calvera Служба Памяти",
                        "Поддерживает производительность подсистемы памяти за счет "
                        "дефрагментации используемой памяти и выделение его обратно на "
                        "компьютер."};
// No table of that name: the service's name as display name and an empty description.
const Captions kNoTable{"Calvera", ""};

struct LanguageCase {
  const char* name;
  RegistryValue language;
  const Captions* captions;
  const wchar_t* switches = L"/install /silent";
};

Bytes Text(const std::wstring& text) {
  return Utf16Data(text);
}

std::vector<LanguageCase> Cases() {
  const Bytes nul = Text(std::wstring(1, L'\0'));
  const auto withNul = [&](const std::wstring& text) { return Text(text + L'\0'); };
  Bytes oddKorean = Text(L"korean");
  oddKorean.push_back(0);
  Bytes innerNul = withNul(L"russian");
  const Bytes korean = withNul(L"korean");
  innerNul.insert(innerNul.end(), korean.begin(), korean.end());
  Bytes nulFirst = nul;
  const Bytes french = withNul(L"french");
  nulFirst.insert(nulFirst.end(), french.begin(), french.end());
  Bytes multi = withNul(L"french");
  multi.insert(multi.end(), nul.begin(), nul.end());
  return {
      {"KoreanInCapitals", {REG_SZ, withNul(L"KOREAN")}, &kKorean},
      {"KlingonWithTheSuccessMessage", {REG_SZ, withNul(L"klingon")}, &kNoTable, L"/install"},
      {"HundredThousandCharacters", {REG_SZ, withNul(std::wstring(100000, L'x'))}, &kNoTable},
      {"NonAsciiText", {REG_SZ, withNul(L"Fran\u00e7ais")}, &kNoTable},
      // Lower-cased in ASCII only, so it never becomes the k of korean.
      {"KelvinSignForTheKOfKOREAN", {REG_SZ, withNul(L"\u212aOREAN")}, &kNoTable},
      {"InnerNulAfterRussian", {REG_SZ, innerNul}, &kRussian},
      {"NulFirst", {REG_SZ, nulFirst}, &kEnglish},
      {"NoTerminatingNul", {REG_SZ, Text(L"korean")}, &kKorean},
      {"OddByteCount", {REG_SZ, oddKorean}, &kKorean},
      {"EmptyData", {REG_SZ, {}}, &kEnglish},
      {"RegExpandSz", {REG_EXPAND_SZ, withNul(L"French")}, &kFrench},
      {"RegMultiSz", {REG_MULTI_SZ, multi}, &kEnglish},
      {"RegBinaryOfTheText", {REG_BINARY, french}, &kEnglish},
      {"RegDword", {REG_DWORD, DwordData(1)}, &kEnglish},
      {"RegQword", {REG_QWORD, QwordData(1)}, &kEnglish},
  };
}

class InstallationLanguage : public testing::TestWithParam<LanguageCase> {
 protected:
  const std::uint64_t errorsMark_ = EventLogChannel::Session().Mark();
  ScopedInstalledService service_{L"Calvera Language"};
};

TEST_P(InstallationLanguage, CaptionsComeFromItsTable) {
  ASSERT_EQ(service_.Settings().Write(L"Language", GetParam().language), ERROR_SUCCESS);
  ASSERT_TRUE(service_.Install(GetParam().switches));
  ServiceController controller = service_.Controller();
  ServiceConfig config;
  DWORD error = ERROR_SUCCESS;
  ASSERT_TRUE(controller.QueryConfig(&config, &error)) << ErrorText(error);
  EXPECT_EQ(Utf8(config.displayName), GetParam().captions->displayName);
  // Written also when empty.
  EXPECT_TRUE(config.hasRegistryDescription);
  EXPECT_EQ(Utf8(config.registryDescription), GetParam().captions->description);
  EXPECT_EQ(EventLogChannel::Session().ErrorsSince(errorsMark_).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(,
                         InstallationLanguage,
                         testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<LanguageCase>& param) {
                           return std::string(param.param.name);
                         });

// The start-up correction runs at every start of the executable, an installation included:
// with LoadCalvera false it writes DefragMemory false when DefragMemory reads true. Values of
// the wrong type read as their default (true).
struct CorrectionCase {
  const char* name;
  RegistryValue loadCalvera;
  RegistryValue defragMemory;
  RegistryValue defragMemoryAfter;
};

std::vector<CorrectionCase> CorrectionCases() {
  const RegistryValue zero{REG_DWORD, DwordData(0)};
  const RegistryValue one{REG_DWORD, DwordData(1)};
  return {
      {"LoadCalveraAsTextKeepsDefragMemory",
       {REG_SZ, Utf16Data(std::wstring(L"0") + L'\0')},
       one,
       one},
      {"DefragMemoryAsTextIsCleared", zero, {REG_SZ, Utf16Data(std::wstring(L"0") + L'\0')}, zero},
      {"DefragMemoryAsBinaryIsCleared", zero, {REG_BINARY, DwordData(0)}, zero},
      {"DefragMemoryOfEightBytesIsCleared", zero, {REG_DWORD, QwordData(0)}, zero},
      {"LoadCalveraOfTheHighBitKeepsDefragMemory", {REG_DWORD, DwordData(0x80000000)}, one, one},
      {"LoadCalveraAsQwordKeepsDefragMemory",
       {REG_QWORD, QwordData(0)},
       {REG_DWORD, DwordData(0xFFFFFFFF)},
       {REG_DWORD, DwordData(0xFFFFFFFF)}},
  };
}

class StartupCorrection : public testing::TestWithParam<CorrectionCase> {
 protected:
  ScopedInstalledService service_{L"Calvera Correction"};
};

TEST_P(StartupCorrection, AtInstallation) {
  ASSERT_EQ(service_.Settings().Write(L"LoadCalvera", GetParam().loadCalvera), ERROR_SUCCESS);
  ASSERT_EQ(service_.Settings().Write(L"DefragMemory", GetParam().defragMemory), ERROR_SUCCESS);
  ASSERT_TRUE(service_.Install());
  const auto after = service_.Settings().Read(L"DefragMemory");
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(Describe(L"DefragMemory", *after),
            Describe(L"DefragMemory", GetParam().defragMemoryAfter));
}

INSTANTIATE_TEST_SUITE_P(,
                         StartupCorrection,
                         testing::ValuesIn(CorrectionCases()),
                         [](const testing::TestParamInfo<CorrectionCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace calvera::e2e
