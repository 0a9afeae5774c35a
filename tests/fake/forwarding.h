// Stand-ins that pass every call on to another implementation of the interface (a fake or the
// real platform). A stand-in that changes one or two calls derives from one of these and
// overrides only those; `inner()` is the implementation it wraps. Each is used from whichever
// threads its inner implementation allows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/event_log.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/system_information.h"
#include "platform/system_libraries.h"

namespace calvera::fake {

class ForwardingRegistry : public platform::Registry {
 public:
  explicit ForwardingRegistry(platform::Registry& inner) : inner_(inner) {}

  platform::ErrorCode OpenKey(platform::RegistryRoot root,
                              const char16_t* subKey,
                              std::uint32_t access,
                              platform::RegistryKeyHandle* key) override {
    return inner_.OpenKey(root, subKey, access, key);
  }
  platform::ErrorCode CreateKey(platform::RegistryRoot root,
                                const char16_t* subKey,
                                std::uint32_t access,
                                platform::RegistryKeyHandle* key) override {
    return inner_.CreateKey(root, subKey, access, key);
  }
  platform::ErrorCode QueryValue(platform::RegistryKeyHandle key,
                                 const char16_t* name,
                                 std::uint32_t* type,
                                 void* data,
                                 std::uint32_t* size) override {
    return inner_.QueryValue(key, name, type, data, size);
  }
  platform::ErrorCode SetValue(platform::RegistryKeyHandle key,
                               const char16_t* name,
                               std::uint32_t type,
                               const void* data,
                               std::uint32_t size) override {
    return inner_.SetValue(key, name, type, data, size);
  }
  platform::ErrorCode DeleteTree(platform::RegistryRoot root,
                                 const char16_t* subKey,
                                 std::uint32_t access) override {
    return inner_.DeleteTree(root, subKey, access);
  }
  void CloseKey(platform::RegistryKeyHandle key) override { inner_.CloseKey(key); }

 protected:
  platform::Registry& inner() { return inner_; }

 private:
  platform::Registry& inner_;
};

class ForwardingSystemLibraries : public platform::SystemLibraries {
 public:
  explicit ForwardingSystemLibraries(platform::SystemLibraries& inner) : inner_(inner) {}

  platform::LibraryHandle Load(const char16_t* name) override { return inner_.Load(name); }
  void* FindEntryPoint(platform::LibraryHandle library, const char* name) override {
    return inner_.FindEntryPoint(library, name);
  }
  void Free(platform::LibraryHandle library) override { inner_.Free(library); }

 protected:
  platform::SystemLibraries& inner() { return inner_; }

 private:
  platform::SystemLibraries& inner_;
};

class ForwardingSystemInformation : public platform::SystemInformation {
 public:
  explicit ForwardingSystemInformation(platform::SystemInformation& inner) : inner_(inner) {}

  std::int32_t QueryVersion(void* record) override { return inner_.QueryVersion(record); }
  std::uint64_t MillisecondsSinceStart() override { return inner_.MillisecondsSinceStart(); }
  platform::LocalTime GetLocalTime() override { return inner_.GetLocalTime(); }
  std::optional<std::uint8_t> AcLineStatus() override { return inner_.AcLineStatus(); }

 protected:
  platform::SystemInformation& inner() { return inner_; }

 private:
  platform::SystemInformation& inner_;
};

class ForwardingProcess : public platform::Process {
 public:
  explicit ForwardingProcess(platform::Process& inner) : inner_(inner) {}

  std::u16string ModuleFileName() override { return inner_.ModuleFileName(); }
  std::intptr_t ShellExecuteFile(platform::WindowHandle owner,
                                 const char16_t* verb,
                                 const char16_t* file,
                                 const char16_t* parameters,
                                 const char16_t* directory,
                                 std::int32_t show) override {
    return inner_.ShellExecuteFile(owner, verb, file, parameters, directory, show);
  }
  bool CoInitialize() override { return inner_.CoInitialize(); }
  void CoUninitialize() override { inner_.CoUninitialize(); }
  std::int32_t ShowMessageBox(const char16_t* text,
                              const char16_t* caption,
                              std::uint32_t type) override {
    return inner_.ShowMessageBox(text, caption, type);
  }

 protected:
  platform::Process& inner() { return inner_; }

 private:
  platform::Process& inner_;
};

class ForwardingEventLog : public platform::EventLog {
 public:
  explicit ForwardingEventLog(platform::EventLog& inner) : inner_(inner) {}

  platform::EventSourceHandle RegisterSource(const char16_t* sourceName) override {
    return inner_.RegisterSource(sourceName);
  }
  bool Report(platform::EventSourceHandle source,
              std::uint16_t type,
              std::uint16_t category,
              std::uint32_t eventId,
              const char16_t* message) override {
    return inner_.Report(source, type, category, eventId, message);
  }
  void DeregisterSource(platform::EventSourceHandle source) override {
    inner_.DeregisterSource(source);
  }
  std::u16string SystemMessage(platform::ErrorCode code) override {
    return inner_.SystemMessage(code);
  }

 protected:
  platform::EventLog& inner() { return inner_; }

 private:
  platform::EventLog& inner_;
};

}  // namespace calvera::fake
