// An in-memory registry that behaves like Windows where the system relies on it: keys below
// two roots, case-insensitive names, typed values with their data sizes, the access rights of
// each handle, refused access, and the 32-bit view's redirection of HKLM\Software\ to
// HKLM\Software\Wow6432Node\ (but for HKLM\Software\Policies\, which both views share). It is
// 64-bit Windows as a process of the build's own bitness sees it: without a KEY_WOW64_* right a
// 64-bit build opens the 64-bit view and a 32-bit build the 32-bit one. Every function can be
// made to fail, and ledgers count open handles and closes of handles that were not open.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake/handle_values.h"
#include "platform/registry.h"

namespace calvera::fake {

class FakeRegistry : public platform::Registry {
 public:
  enum class Call { kOpenKey, kCreateKey, kQueryValue, kSetValue, kCloseKey };

  struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };

  // One OpenKey or CreateKey as the system made it.
  struct Opening {
    Call call;
    platform::RegistryRoot root;
    std::u16string subKey;
    std::uint32_t access;
  };

  // platform::Registry
  platform::ErrorCode OpenKey(platform::RegistryRoot root,
                              const char16_t* subKey,
                              std::uint32_t access,
                              platform::RegistryKeyHandle* key) override;
  platform::ErrorCode CreateKey(platform::RegistryRoot root,
                                const char16_t* subKey,
                                std::uint32_t access,
                                platform::RegistryKeyHandle* key) override;
  platform::ErrorCode QueryValue(platform::RegistryKeyHandle key,
                                 const char16_t* name,
                                 std::uint32_t* type,
                                 void* data,
                                 std::uint32_t* size) override;
  platform::ErrorCode SetValue(platform::RegistryKeyHandle key,
                               const char16_t* name,
                               std::uint32_t type,
                               const void* data,
                               std::uint32_t size) override;
  platform::ErrorCode DeleteTree(platform::RegistryRoot root,
                                 const char16_t* subKey,
                                 std::uint32_t access) override;
  void CloseKey(platform::RegistryKeyHandle key) override;

  // Direct access for tests, in the native (64-bit) view: the path is taken as it stands,
  // with Wow6432Node spelled out where wanted.
  void SetRaw(platform::RegistryRoot root,
              const std::u16string& path,
              const std::u16string& name,
              std::uint32_t type,
              std::vector<std::uint8_t> data);
  void SetDword(platform::RegistryRoot root,
                const std::u16string& path,
                const std::u16string& name,
                std::uint32_t value);
  void SetString(platform::RegistryRoot root,
                 const std::u16string& path,
                 const std::u16string& name,
                 const std::u16string& text,
                 std::uint32_t type = platform::kRegSz);
  std::optional<Value> GetValue(platform::RegistryRoot root,
                                const std::u16string& path,
                                const std::u16string& name) const;
  std::optional<std::uint32_t> GetDword(platform::RegistryRoot root,
                                        const std::u16string& path,
                                        const std::u16string& name) const;
  // A REG_SZ value's text without its terminating NUL.
  std::optional<std::u16string> GetString(platform::RegistryRoot root,
                                          const std::u16string& path,
                                          const std::u16string& name) const;
  bool KeyExists(platform::RegistryRoot root, const std::u16string& path) const;
  void DeleteValue(platform::RegistryRoot root,
                   const std::u16string& path,
                   const std::u16string& name);

  // Opening this key (native path) is refused with ERROR_ACCESS_DENIED.
  void DenyAccess(platform::RegistryRoot root, const std::u16string& path);
  // After `after` calls that succeed, the next `times` calls of that function fail with
  // `error` (-1: every later call; an error of 0 clears it). A failing CloseKey still
  // releases the handle, as RegCloseKey does for a valid one; its status is all that fails.
  void FailCall(Call call, platform::ErrorCode error, int times = -1, int after = 0);
  // Calls of that function, failing ones included.
  std::size_t CallCount(Call call) const;

  std::size_t OpenHandleCount() const;
  // CloseKey calls on a handle that was not open: never opened, or closed already.
  std::size_t UnmatchedCloses() const;
  std::vector<Opening> Openings() const;
  void ClearOpenings();
  std::size_t SetValueCount() const;
  // The value names of every successful SetValue, in order.
  std::vector<std::u16string> SetValueNames() const;

 private:
  struct Key {
    std::map<std::u16string, Value> values;  // by upper-cased name
  };
  struct Failure {
    platform::ErrorCode error = 0;
    int times = 0;  // -1: without end
    int after = 0;
  };
  struct Handle {
    platform::RegistryRoot root;
    std::u16string path;  // canonical
    std::uint32_t access;
  };

  static std::optional<std::u16string> Canonical(const std::u16string& path);
  std::u16string InView(platform::RegistryRoot root,
                        const std::u16string& canonical,
                        std::uint32_t access) const;
  platform::ErrorCode Open(Call call,
                           platform::RegistryRoot root,
                           const char16_t* subKey,
                           std::uint32_t access,
                           platform::RegistryKeyHandle* key);
  const Key* FindKey(platform::RegistryRoot root, const std::u16string& canonical) const;
  // Counts the call and gives the error it is to fail with, or 0; under mutex_.
  platform::ErrorCode TakeFailure(Call call);

  mutable std::mutex mutex_;
  std::map<std::pair<platform::RegistryRoot, std::u16string>, Key> keys_;
  std::set<std::pair<platform::RegistryRoot, std::u16string>> denied_;
  std::map<Call, Failure> failures_;
  std::map<Call, std::size_t> calls_;
  std::size_t unmatchedCloses_ = 0;
  std::map<platform::RegistryKeyHandle, Handle> handles_;
  HandleValues<platform::RegistryKeyHandle> handleValues_{0x1000};
  std::vector<Opening> openings_;
  std::vector<std::u16string> setValueNames_;
};

}  // namespace calvera::fake
