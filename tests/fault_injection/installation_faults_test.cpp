// Installation and removal runs of the whole program, with each platform call that they make
// failing in turn: the Service Control Manager's functions, the registry functions behind the
// language, the description and the event sources, the resource lookups of the caption tables
// and the module's timer. Each run ends with the message box, event log entry and exit code
// that belong to that failure, and gives back every handle it took.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/stored_settings.h"
#include "fault_injection/ledgers.h"
#include "platform/text.h"
#include "service/event_ids.h"
#include "service/program_entry.h"

namespace calvera::fault_injection {
namespace {

using fake::FakeEventLog;
using fake::FakeRegistry;
using fake::FakeResources;
using fake::FakeServiceControlManager;
using platform::RegistryRoot;

const std::u16string kServiceKey = u"SYSTEM\\CurrentControlSet\\Services\\Calvera";
const std::u16string kEnglishName = u"Calvera Memory Service";
const std::u16string kEnglishDescription =
    u"Maintains memory performance by defragmenting used memory and allocating it back to the "
    u"computer system.";
const std::u16string kFrenchName = FromUtf8("Calvera Service Mémoire");

struct Box {
  std::u16string caption;
  std::u16string textStart;  // the text begins with this
};

// An entry under "Calvera.exe".
struct Logged {
  std::uint16_t type;
  std::uint32_t id;
  std::u16string textStart;  // the text begins with this
};

const std::u16string kSourcesKey = u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
const std::u16string kExecutable = u"C:\\Program Files\\Calvera\\Calvera.exe";

// The three sources, each with the executable that holds its texts.
const std::pair<const char16_t*, std::u16string> kSources[] = {
    {u"Calvera", kExecutable},
    {u"Calvera.exe", kExecutable},
    {u"CalveraDefrag", u"C:\\Program Files\\Calvera\\CalveraDefrag.exe"}};

// As an installation leaves them.
void RegisterSources(FakeRegistry& registry) {
  for (const auto& [name, file] : kSources) {
    registry.SetString(RegistryRoot::kLocalMachine, kSourcesKey + name, u"EventMessageFile", file,
                       platform::kRegExpandSz);
    registry.SetDword(RegistryRoot::kLocalMachine, kSourcesKey + name, u"TypesSupported", 7);
  }
}

bool SourcesRegistered(const FakeRegistry& registry) {
  for (const auto& [name, file] : kSources) {
    const auto messageFile =
        registry.GetValue(RegistryRoot::kLocalMachine, kSourcesKey + name, u"EventMessageFile");
    if (!messageFile || messageFile->type != platform::kRegExpandSz ||
        registry.GetDword(RegistryRoot::kLocalMachine, kSourcesKey + name, u"TypesSupported") !=
            7u) {
      return false;
    }
    const std::u16string text(reinterpret_cast<const char16_t*>(messageFile->data.data()),
                              messageFile->data.size() / 2);
    if (text != file + u'\0')
      return false;
  }
  return true;
}

bool NoSourceLeft(const FakeRegistry& registry) {
  for (const auto& [name, file] : kSources) {
    if (registry.KeyExists(RegistryRoot::kLocalMachine, kSourcesKey + name))
      return false;
  }
  return true;
}

// What a run leaves: the service's entry (display name), its description, boxes, the
// application's event log entries, the event sources and the exit code.
struct Outcome {
  int exitCode;
  std::vector<Box> boxes;
  std::optional<std::u16string> displayName;  // none: no entry
  std::optional<std::u16string> description;  // none: no value
  std::vector<Logged> log = {};               // under "Calvera.exe"
  bool sources = false;                       // registered, all three; else none left
};

const Logged kSourcesNotRegistered{platform::kEventlogWarningType,
                                   service::kEventSourcesNotRegisteredEvent,
                                   u"The event sources could not be registered"};

struct Case {
  const char* name;
  std::function<void(fake::FakePlatform&)> fault;
  Outcome outcome;
};

const Box kInstalled{u"Information", u"Service installed successfully"};
const Box kUninstalled{u"Information", u"Service uninstalled successfully"};
const Box kApplicationError{u"Application Error",
                            u"Exception WindowsCallFailure in module Calvera.exe at "};

Box InstallFailure(const std::u16string& displayName, const std::u16string& error) {
  return {u"Error", u"Service \"" + displayName + u"\" failed to install with error: \"" + error};
}
Box UninstallFailure(const std::u16string& error) {
  return {u"Error", u"Service \"Calvera\" failed to uninstall with error: \"" + error};
}

std::function<void(fake::FakePlatform&)> FailService(FakeServiceControlManager::Call call,
                                                     platform::ErrorCode error) {
  return [call, error](fake::FakePlatform& f) { f.services.FailCall(call, error); };
}
std::function<void(fake::FakePlatform&)> FailRegistry(FakeRegistry::Call call) {
  return [call](fake::FakePlatform& f) { f.registry.FailCall(call, platform::kErrorAccessDenied); };
}
std::function<void(fake::FakePlatform&)> FailResource(FakeResources::Call call) {
  return [call](fake::FakePlatform& f) { f.resources.FailCall(call, true); };
}

void ExpectOutcome(const std::vector<std::u16string>& arguments, const Case& c, bool installed) {
  SCOPED_TRACE(c.name);
  LedgeredPlatform fake;
  // French, so that a language that cannot be read shows as english.
  config::StoreSetting(fake.registry, u"Language", u"french");
  if (installed) {
    FakeServiceControlManager::Entry entry;
    entry.name = u"Calvera";
    entry.displayName = kEnglishName;
    fake.services.AddEntry(entry);
    RegisterSources(fake.registry);
  }
  c.fault(fake);
  EXPECT_EQ(service::ProgramEntry(fake.platform, arguments), c.outcome.exitCode);

  const auto boxes = fake.process.MessageBoxes();
  ASSERT_EQ(boxes.size(), c.outcome.boxes.size());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(ToUtf8(boxes[i].caption), ToUtf8(c.outcome.boxes[i].caption));
    EXPECT_EQ(ToUtf8(boxes[i].text.substr(0, c.outcome.boxes[i].textStart.size())),
              ToUtf8(c.outcome.boxes[i].textStart));
  }
  const auto entry = fake.services.FindEntry(u"Calvera");
  EXPECT_EQ(entry ? std::optional(ToUtf8(entry->displayName)) : std::nullopt,
            c.outcome.displayName ? std::optional(ToUtf8(*c.outcome.displayName)) : std::nullopt);
  if (entry && installed) {
    EXPECT_FALSE(entry->markedForDelete);
  }
  const auto description =
      fake.registry.GetString(RegistryRoot::kLocalMachine, kServiceKey, u"Description");
  EXPECT_EQ(description ? std::optional(ToUtf8(*description)) : std::nullopt,
            c.outcome.description ? std::optional(ToUtf8(*c.outcome.description)) : std::nullopt);
  const auto entries = fake.eventLog.Entries();
  ASSERT_EQ(entries.size(), c.outcome.log.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(ToUtf8(entries[i].source), "Calvera.exe");
    EXPECT_EQ(entries[i].type, c.outcome.log[i].type);
    EXPECT_EQ(entries[i].id, c.outcome.log[i].id);
    EXPECT_EQ(ToUtf8(entries[i].text.substr(0, c.outcome.log[i].textStart.size())),
              ToUtf8(c.outcome.log[i].textStart));
  }
  if (c.outcome.sources) {
    EXPECT_TRUE(SourcesRegistered(fake.registry));
  } else {
    EXPECT_TRUE(NoSourceLeft(fake.registry));
  }
  // Installation and removal never initialize COM.
  EXPECT_EQ(fake.process.CoInitializeCalls(), 0);
}

TEST(InstallationFaultsTest, EachPlatformCallOfAnInstallationFailsInTurn) {
  const std::u16string french = FromUtf8(
      "Maintenant les performances en défragmentant la mémoire utilisée et la ré-allouer au "
      "système.");
  const Logged timersUnavailable{platform::kEventlogErrorType, service::kModuleNotCreatedEvent,
                                 u"Not enough timers available"};
  const Case cases[] = {
      {"nothing fails",
       [](fake::FakePlatform&) {},
       {0, {kInstalled}, kFrenchName, french, {}, true}},
      {"OpenSCManagerW",
       FailService(FakeServiceControlManager::Call::kOpenManager, platform::kErrorAccessDenied),
       {1, {kApplicationError}, std::nullopt, std::nullopt}},
      {"CreateServiceW",
       FailService(FakeServiceControlManager::Call::kCreateService, platform::kErrorServiceExists),
       {1,
        {InstallFailure(kFrenchName,
                        u"System Error.  Code: 1073.\r\nThe specified service already exists\"")},
        std::nullopt,
        std::nullopt}},
      // The language cannot be read: english.
      {"RegOpenKeyExW",
       FailRegistry(FakeRegistry::Call::kOpenKey),
       {0, {kInstalled}, kEnglishName, kEnglishDescription, {}, true}},
      {"RegQueryValueExW",
       FailRegistry(FakeRegistry::Call::kQueryValue),
       {0, {kInstalled}, kEnglishName, kEnglishDescription, {}, true}},
      // The description cannot be written: installed without one. Nor can the sources: a
      // warning says so, and the installation stands.
      {"RegCreateKeyExW",
       FailRegistry(FakeRegistry::Call::kCreateKey),
       {0, {kInstalled}, kFrenchName, std::nullopt, {kSourcesNotRegistered}}},
      {"RegSetValueExW",
       FailRegistry(FakeRegistry::Call::kSetValue),
       {0, {kInstalled}, kFrenchName, std::nullopt, {kSourcesNotRegistered}}},
      {"RegCloseKey",
       FailRegistry(FakeRegistry::Call::kCloseKey),
       {0, {kInstalled}, kFrenchName, french, {}, true}},
      // No caption table: the service name and an empty description.
      {"FindResourceExW",
       FailResource(FakeResources::Call::kFindResource),
       {0, {kInstalled}, u"Calvera", u"", {}, true}},
      {"LoadResource",
       FailResource(FakeResources::Call::kLoadResource),
       {0, {kInstalled}, u"Calvera", u"", {}, true}},
      {"LockResource",
       FailResource(FakeResources::Call::kLockResource),
       {0, {kInstalled}, u"Calvera", u"", {}, true}},
      {"SizeofResource",
       FailResource(FakeResources::Call::kSizeofResource),
       {0, {kInstalled}, u"Calvera", u"", {}, true}},
      // The recovery actions refused: installed all the same, with a warning.
      {"ChangeServiceConfig2W",
       FailService(FakeServiceControlManager::Call::kChangeFailureActions,
                   platform::kErrorAccessDenied),
       {0,
        {kInstalled},
        kFrenchName,
        french,
        {{platform::kEventlogWarningType, service::kRecoveryActionsNotSetEvent,
          u"The recovery actions of service \"Calvera\" could not be set"}},
        true}},
      // The module cannot be created: nothing is installed and nothing shown.
      {"SetTimer",
       [](fake::FakePlatform& f) { f.windowing.FailSetTimer(true); },
       {1, {}, std::nullopt, std::nullopt, {timersUnavailable}}},
      // No program to record: no entry, and the failure shown. The path is taken before the
      // language's captions, so the box names the service.
      {"GetModuleFileNameW",
       [](fake::FakePlatform& f) { f.process.SetModuleFileName(u""); },
       {1,
        {InstallFailure(u"Calvera", u"A call to an OS function failed\"")},
        std::nullopt,
        std::nullopt}},
  };
  for (const Case& c : cases) {
    ExpectOutcome({u"/install"}, c, false);
  }
}

TEST(InstallationFaultsTest, EachPlatformCallOfARemovalFailsInTurn) {
  const Case cases[] = {
      {"nothing fails",
       [](fake::FakePlatform&) {},
       {0, {kUninstalled}, std::nullopt, std::nullopt}},
      {"OpenSCManagerW",
       FailService(FakeServiceControlManager::Call::kOpenManager, platform::kErrorAccessDenied),
       {1, {kApplicationError}, kEnglishName, std::nullopt, {}, true}},
      {"OpenServiceW",
       FailService(FakeServiceControlManager::Call::kOpenService, platform::kErrorAccessDenied),
       {1,
        {UninstallFailure(u"System Error.  Code: 5.\r\nAccess is denied\"")},
        kEnglishName,
        std::nullopt}},
      // The entry's handle is closed after the failure as well.
      {"DeleteService",
       FailService(FakeServiceControlManager::Call::kDeleteService,
                   platform::kErrorServiceMarkedForDelete),
       {1,
        {UninstallFailure(
            u"System Error.  Code: 1072.\r\nThe specified service has been marked for deletion\"")},
        kEnglishName,
        std::nullopt}},
      {"SetTimer",
       [](fake::FakePlatform& f) { f.windowing.FailSetTimer(true); },
       {1,
        {},
        kEnglishName,
        std::nullopt,
        {{platform::kEventlogErrorType, service::kModuleNotCreatedEvent,
          u"Not enough timers available"}},
        true}},
  };
  for (const Case& c : cases) {
    ExpectOutcome({u"/uninstall"}, c, true);
  }
}

// Every single registry call of an installation, failing alone: the service is installed all
// the same, with a caption of the stored language or of english, and the success shown.
TEST(InstallationFaultsTest, AnySingleRegistryCallOfAnInstallationFailsAlone) {
  const FakeRegistry::Call calls[] = {FakeRegistry::Call::kOpenKey, FakeRegistry::Call::kQueryValue,
                                      FakeRegistry::Call::kCreateKey, FakeRegistry::Call::kSetValue,
                                      FakeRegistry::Call::kCloseKey};
  const auto prepare = [](fake::FakePlatform& f) {
    config::StoreSetting(f.registry, u"Language", u"french");
  };
  for (const auto call : calls) {
    std::size_t count = 0;
    {
      LedgeredPlatform fake;
      prepare(fake);
      ASSERT_EQ(service::ProgramEntry(fake.platform, {u"/install"}), 0);
      count = fake.registry.CallCount(call);
    }
    for (std::size_t index = 0; index < count; ++index) {
      SCOPED_TRACE(testing::Message() << "call " << static_cast<int>(call) << " #" << index + 1);
      LedgeredPlatform fake;
      prepare(fake);
      fake.registry.FailCall(call, platform::kErrorAccessDenied, 1, static_cast<int>(index));
      EXPECT_EQ(service::ProgramEntry(fake.platform, {u"/install"}), 0);
      const auto boxes = fake.process.MessageBoxes();
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, kInstalled.textStart);
      const auto entry = fake.services.FindEntry(u"Calvera");
      ASSERT_TRUE(entry);
      EXPECT_TRUE(entry->displayName == kFrenchName || entry->displayName == kEnglishName)
          << ToUtf8(entry->displayName);
      // At most the warning that a source could not be registered.
      for (const FakeEventLog::Entry& logged : fake.eventLog.Entries()) {
        EXPECT_EQ(logged.type, platform::kEventlogWarningType) << ToUtf8(logged.text);
        EXPECT_EQ(logged.id, service::kEventSourcesNotRegisteredEvent) << ToUtf8(logged.text);
      }
    }
  }
}

}  // namespace
}  // namespace calvera::fault_injection
