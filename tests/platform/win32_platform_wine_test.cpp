// The real platform under Wine: what the system relies on from each Windows call, where the
// conversion between the interfaces and the API could go wrong. The registry has its own
// contract suite.
#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "config/caption_text.h"
#include "config/custom_registry.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace calvera::platform {
namespace {

using config::AsciiLower;
using namespace std::chrono_literals;

Platform& Real() {
  return Win32Platform();
}

TEST(Win32PlatformWineTest, ModuleFileNameIsTheExecutablesFullPath) {
  const std::u16string name = Real().process.ModuleFileName();
  const std::u16string file = u"\\calvera_wine_tests.exe";
  ASSERT_GT(name.size(), file.size()) << ToUtf8(name);
  EXPECT_EQ(name.substr(1, 2), u":\\") << ToUtf8(name);
  EXPECT_EQ(AsciiLower(name.substr(name.size() - file.size())), file) << ToUtf8(name);
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(name))) << ToUtf8(name);
}

class RecordingProcedure final : public WindowProcedure {
 public:
  bool HandleMessage(std::uint32_t message,
                     std::uintptr_t wParam,
                     std::intptr_t lParam) noexcept override {
    received.push_back(WindowMessage{{}, message, wParam, lParam});
    return message == kTestMessage || message == kWmTimer;
  }

  bool Received(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) const {
    for (const WindowMessage& m : received) {
      if (m.message == message && m.wParam == wParam && m.lParam == lParam) {
        return true;
      }
    }
    return false;
  }

  static constexpr std::uint32_t kTestMessage = kWmUser + 1;
  std::vector<WindowMessage> received;
};

TEST(Win32PlatformWineTest, AMessageWindowGetsPostedMessagesAndTimerTicksThroughTheLoop) {
  constexpr std::uint32_t kWmDestroy = 0x0002;
  constexpr std::uintptr_t kTimerId = 1;
  // Wide enough to show that neither parameter is truncated or loses its sign.
  constexpr std::uintptr_t kWParam = static_cast<std::uintptr_t>(-2);
  constexpr std::intptr_t kLParam = -9;
  Windowing& windowing = Real().windowing;
  RecordingProcedure procedure;
  {
    const ScopedWindow window(windowing, windowing.CreateMessageWindow(&procedure));
    ASSERT_TRUE(window);
    ASSERT_TRUE(
        windowing.PostToWindow(window.get(), RecordingProcedure::kTestMessage, kWParam, kLParam));
    ASSERT_TRUE(windowing.SetTimer(window.get(), kTimerId, 10));

    // Ends the loop should a message never come.
    std::promise<void> finished;
    std::thread watchdog([&windowing, handle = window.get(), done = finished.get_future()] {
      if (done.wait_for(10s) == std::future_status::timeout) {
        static_cast<void>(windowing.PostToWindow(handle, kWmQuit, 0, 0));
      }
    });
    bool posted = false;
    bool ticked = false;
    WindowMessage message;
    while (!(posted && ticked) && windowing.WaitForMessage(&message)) {
      windowing.DispatchToWindow(message);
      if (message.message == RecordingProcedure::kTestMessage) {
        posted = true;
        EXPECT_EQ(message.window, window.get());
        EXPECT_EQ(message.wParam, kWParam);
        EXPECT_EQ(message.lParam, kLParam);
      }
      ticked = ticked || message.message == kWmTimer;
    }
    finished.set_value();
    watchdog.join();
    windowing.KillTimer(window.get(), kTimerId);
    EXPECT_TRUE(posted);
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(procedure.Received(RecordingProcedure::kTestMessage, kWParam, kLParam));
    EXPECT_TRUE(procedure.Received(kWmTimer, kTimerId, 0));
  }
  // Sent messages reach the procedure too, up to the window's end.
  EXPECT_TRUE(procedure.Received(kWmDestroy, 0, 0));
}

// The fake windowing keeps this rule: a message posted to no window is a thread message of the
// posting thread, which no other thread's loop sees.
TEST(Win32PlatformWineTest, AMessagePostedToNoWindowGoesToThePostingThreadsOwnQueue) {
  Windowing& windowing = Real().windowing;
  ASSERT_TRUE(windowing.PostToWindow({}, RecordingProcedure::kTestMessage, 3, 4));
  ASSERT_TRUE(windowing.PostToWindow({}, kWmQuit, 0, 0));
  WindowMessage message;
  ASSERT_TRUE(windowing.WaitForMessage(&message));
  EXPECT_EQ(message.window, WindowHandle{});
  EXPECT_EQ(message.message, RecordingProcedure::kTestMessage);
  EXPECT_EQ(message.wParam, 3u);
  EXPECT_FALSE(windowing.WaitForMessage(&message));  // the quit
}

TEST(Win32PlatformWineTest, SystemMessagesComeAsTheSystemWritesThem) {
  EventLog& log = Real().eventLog;
  const std::u16string denied = log.SystemMessage(kErrorAccessDenied);
  EXPECT_NE(AsciiLower(denied).find(u"denied"), std::u16string::npos) << ToUtf8(denied);
  ASSERT_FALSE(denied.empty());
  EXPECT_EQ(denied.back(), u'\n') << ToUtf8(denied);
  EXPECT_EQ(log.SystemMessage(0x2A5A5A5A), u"");
}

TEST(Win32PlatformWineTest, AnEventSourceTakesAnErrorEntry) {
  EventLog& log = Real().eventLog;
  const ScopedEventSource source(log, log.RegisterSource(u"CalveraWin32WineTest"));
  ASSERT_TRUE(source);
  EXPECT_TRUE(log.Report(source.get(), kEventlogErrorType, 0, 0, u"Win32 platform test entry"));
}

class Win32ServiceEntryWineTest : public ::testing::Test {
 protected:
  static constexpr char16_t kName[] = u"CalveraWin32WineTest";

  void SetUp() override {
    const ErrorCode error = services_.OpenManager(kScManagerAllAccess, manager_.put());
    ASSERT_TRUE(manager_) << error;
    Remove();
  }
  void TearDown() override { Remove(); }

  void Remove() {
    if (!manager_) {
      return;
    }
    ScopedServiceHandle service(services_);
    if (services_.OpenServiceEntry(manager_.get(), kName, kServiceAllAccess, service.put()) ==
        kErrorSuccess) {
      static_cast<void>(services_.DeleteServiceEntry(service.get()));
    }
  }

  ServiceControlManager& services_ = Real().services;
  ScopedServiceHandle manager_{services_};
};

TEST_F(Win32ServiceEntryWineTest, AMissingServiceFailsWithItsOwnError) {
  ServiceHandle service{0x1234};
  EXPECT_EQ(services_.OpenServiceEntry(manager_.get(), u"CalveraNoSuchService", kServiceAllAccess,
                                       &service),
            kErrorServiceDoesNotExist);
  EXPECT_EQ(service, ServiceHandle{});
}

TEST_F(Win32ServiceEntryWineTest, CreateServicePassesEveryArgumentInItsPlace) {
  const std::u16string path = u"\"" + Real().process.ModuleFileName() + u"\" -test";
  ServiceDefinition definition;
  definition.serviceName = kName;
  definition.displayName = u"Calvera Win32 Wine Test";
  definition.desiredAccess = kServiceAllAccess;
  definition.serviceType = kServiceWin32OwnProcess;
  definition.startType = kServiceDemandStart;
  definition.errorControl = kServiceErrorIgnore;
  definition.binaryPathName = path.c_str();
  definition.loadOrderGroup = u"CalveraTestGroup";
  {
    ScopedServiceHandle created(services_);
    ASSERT_EQ(services_.CreateServiceEntry(manager_.get(), definition, created.put()),
              kErrorSuccess);
    ASSERT_TRUE(created);
    ServiceHandle again{0x1234};
    EXPECT_EQ(services_.CreateServiceEntry(manager_.get(), definition, &again),
              kErrorServiceExists);
    EXPECT_EQ(again, ServiceHandle{});

    Registry& registry = Real().registry;
    const char16_t* key = u"\\SYSTEM\\CurrentControlSet\\Services\\CalveraWin32WineTest\\";
    const auto text = [&](const char16_t* value) {
      return config::ReadRegistryString(registry, RegistryRoot::kLocalMachine, key, value, u"?",
                                        false);
    };
    const auto number = [&](const char16_t* value) {
      return config::ReadRegistryInteger(registry, RegistryRoot::kLocalMachine, key, value, -1,
                                         false);
    };
    EXPECT_EQ(ToUtf8(text(u"DisplayName")), "Calvera Win32 Wine Test");
    EXPECT_EQ(ToUtf8(text(u"ImagePath")), ToUtf8(path));
    EXPECT_EQ(ToUtf8(text(u"Group")), "CalveraTestGroup");
    EXPECT_EQ(ToUtf8(text(u"ObjectName")), "LocalSystem");
    EXPECT_EQ(number(u"Type"), static_cast<std::int32_t>(kServiceWin32OwnProcess));
    EXPECT_EQ(number(u"Start"), static_cast<std::int32_t>(kServiceDemandStart));
    EXPECT_EQ(number(u"ErrorControl"), static_cast<std::int32_t>(kServiceErrorIgnore));

    EXPECT_EQ(services_.DeleteServiceEntry(created.get()), kErrorSuccess);
  }
  ScopedServiceHandle gone(services_);
  EXPECT_EQ(services_.OpenServiceEntry(manager_.get(), kName, kServiceAllAccess, gone.put()),
            kErrorServiceDoesNotExist);
}

TEST(Win32PlatformWineTest, ResourcesAndTheAnsiCodePage) {
  Resources& resources = Real().resources;
  EXPECT_FALSE(resources.FindRcData(u"NOSUCHTABLE"));
  const std::byte abc[] = {std::byte{'a'}, std::byte{'b'}, std::byte{'c'}};
  EXPECT_EQ(resources.DecodeAnsi(abc), u"abc");
  EXPECT_EQ(resources.DecodeAnsi({}), u"");
}

TEST(Win32PlatformWineTest, SystemInformationAnswers) {
  SystemInformation& system = Real().system;
  for (const std::uint32_t size : {284u, 276u}) {
    std::vector<std::byte> record(284);
    std::memcpy(record.data(), &size, sizeof(size));
    EXPECT_NE(system.QueryVersion(record.data()), 0) << size;
    std::uint32_t major = 0;
    std::memcpy(&major, record.data() + 4, sizeof(major));
    EXPECT_GE(major, 5u) << size;
  }
  EXPECT_TRUE(system.AcLineStatus().has_value());
  const LocalTime now = system.GetLocalTime();
  EXPECT_GE(now.year, 2000);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GT(system.MillisecondsSinceStart(), 0u);
}

TEST(Win32PlatformWineTest, SystemFunctionsAreFoundByName) {
  SystemLibraries& libraries = Real().libraries;
  const ScopedLibrary kernel(libraries, libraries.Load(u"Kernel32.dll"));
  ASSERT_TRUE(kernel);
  EXPECT_NE(libraries.FindEntryPoint(kernel.get(), "GlobalMemoryStatusEx"), nullptr);
  EXPECT_EQ(libraries.FindEntryPoint(kernel.get(), "NoSuchFunction"), nullptr);
  EXPECT_FALSE(ScopedLibrary(libraries, libraries.Load(u"calvera_no_such_library.dll")));
}

TEST(Win32PlatformWineTest, ComInitializesOnTheCallingThread) {
  Process& process = Real().process;
  ASSERT_TRUE(process.CoInitialize());
  process.CoUninitialize();
}

}  // namespace
}  // namespace calvera::platform
