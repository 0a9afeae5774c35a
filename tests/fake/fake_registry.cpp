#include "fake/fake_registry.h"

#include <cstring>

namespace calvera::fake {

using platform::ErrorCode;
using platform::RegistryKeyHandle;
using platform::RegistryRoot;

namespace {

constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr ErrorCode kErrorBadPathname = 161;

std::u16string Upper(std::u16string text) {
  for (auto& c : text) {
    if (c >= u'a' && c <= u'z')
      c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return text;
}

}  // namespace

// Upper-cased, without a trailing backslash; nullopt for an empty component in the middle or
// at the start, which Windows refuses as well.
std::optional<std::u16string> FakeRegistry::Canonical(const std::u16string& path) {
  std::u16string canonical = Upper(path);
  if (!canonical.empty() && canonical.back() == u'\\')
    canonical.pop_back();
  if (!canonical.empty() &&
      (canonical.front() == u'\\' || canonical.find(u"\\\\") != std::u16string::npos)) {
    return std::nullopt;
  }
  return canonical;
}

std::u16string FakeRegistry::InView(RegistryRoot root,
                                    const std::u16string& canonical,
                                    std::uint32_t access) const {
  // Only HKEY_LOCAL_MACHINE\Software is redirected; HKEY_CURRENT_USER\Software is shared.
  if (root != RegistryRoot::kLocalMachine)
    return canonical;
  const bool view32 =
      (access & platform::kKeyWow64_32Key) != 0
          ? true
          : ((access & platform::kKeyWow64_64Key) != 0 ? false : !platform::kProcessIs64Bit);
  const std::u16string software = u"SOFTWARE";
  if (!view32 || canonical.compare(0, software.size(), software) != 0)
    return canonical;
  if (canonical.size() != software.size() && canonical[software.size()] != u'\\')
    return canonical;
  // Below Software, Wow6432Node itself and Policies are shared by both views.
  for (const std::u16string shared : {u"SOFTWARE\\WOW6432NODE", u"SOFTWARE\\POLICIES"}) {
    if (canonical.compare(0, shared.size(), shared) == 0 &&
        (canonical.size() == shared.size() || canonical[shared.size()] == u'\\')) {
      return canonical;
    }
  }
  return u"SOFTWARE\\WOW6432NODE" + canonical.substr(software.size());
}

const FakeRegistry::Key* FakeRegistry::FindKey(RegistryRoot root,
                                               const std::u16string& canonical) const {
  const auto found = keys_.find({root, canonical});
  return found == keys_.end() ? nullptr : &found->second;
}

ErrorCode FakeRegistry::Open(Call call,
                             RegistryRoot root,
                             const char16_t* subKey,
                             std::uint32_t access,
                             RegistryKeyHandle* key) {
  std::lock_guard lock(mutex_);
  if (key == nullptr || subKey == nullptr) {
    ++calls_[call];
    return platform::kErrorInvalidParameter;
  }
  *key = {};
  openings_.push_back({call, root, subKey, access});
  if (const ErrorCode failure = TakeFailure(call); failure != 0)
    return failure;
  const auto canonical = Canonical(subKey);
  if (!canonical)
    return kErrorBadPathname;
  const std::u16string path = InView(root, *canonical, access);
  // Refused access to any key on the way down refuses the open (the fake keeps it simple:
  // the key itself or one of its ancestors).
  for (std::size_t end = 0; end != std::u16string::npos;) {
    end = path.find(u'\\', end == 0 ? 0 : end + 1);
    if (denied_.count({root, path.substr(0, end)}))
      return platform::kErrorAccessDenied;
  }
  if (call == Call::kOpenKey) {
    if (!path.empty() && FindKey(root, path) == nullptr)
      return platform::kErrorFileNotFound;
  } else {
    for (std::size_t end = path.find(u'\\'); end != std::u16string::npos;
         end = path.find(u'\\', end + 1)) {
      keys_[{root, path.substr(0, end)}];
    }
    if (!path.empty())
      keys_[{root, path}];
  }
  *key = handleValues_.Next();
  handles_[*key] = {root, path, access};
  return platform::kErrorSuccess;
}

ErrorCode FakeRegistry::OpenKey(RegistryRoot root,
                                const char16_t* subKey,
                                std::uint32_t access,
                                RegistryKeyHandle* key) {
  return Open(Call::kOpenKey, root, subKey, access, key);
}

ErrorCode FakeRegistry::CreateKey(RegistryRoot root,
                                  const char16_t* subKey,
                                  std::uint32_t access,
                                  RegistryKeyHandle* key) {
  return Open(Call::kCreateKey, root, subKey, access, key);
}

ErrorCode FakeRegistry::QueryValue(RegistryKeyHandle key,
                                   const char16_t* name,
                                   std::uint32_t* type,
                                   void* data,
                                   std::uint32_t* size) {
  std::lock_guard lock(mutex_);
  if (const ErrorCode failure = TakeFailure(Call::kQueryValue); failure != 0)
    return failure;
  const auto handle = handles_.find(key);
  if (handle == handles_.end())
    return platform::kErrorInvalidHandle;
  if ((handle->second.access & kKeyQueryValue) == 0)
    return platform::kErrorAccessDenied;
  if (data != nullptr && size == nullptr)
    return platform::kErrorInvalidParameter;
  const Key* found = FindKey(handle->second.root, handle->second.path);
  if (found == nullptr)
    return platform::kErrorFileNotFound;  // deleted under the handle
  const auto value = found->values.find(Upper(name ? name : u""));
  if (value == found->values.end())
    return platform::kErrorFileNotFound;
  const auto length = static_cast<std::uint32_t>(value->second.data.size());
  if (type != nullptr)
    *type = value->second.type;
  if (data != nullptr && *size < length) {
    *size = length;
    return platform::kErrorMoreData;
  }
  if (data != nullptr && length != 0)
    std::memcpy(data, value->second.data.data(), length);
  if (size != nullptr)
    *size = length;
  return platform::kErrorSuccess;
}

ErrorCode FakeRegistry::SetValue(RegistryKeyHandle key,
                                 const char16_t* name,
                                 std::uint32_t type,
                                 const void* data,
                                 std::uint32_t size) {
  std::lock_guard lock(mutex_);
  if (const ErrorCode failure = TakeFailure(Call::kSetValue); failure != 0)
    return failure;
  const auto handle = handles_.find(key);
  if (handle == handles_.end())
    return platform::kErrorInvalidHandle;
  if ((handle->second.access & kKeySetValue) == 0)
    return platform::kErrorAccessDenied;
  if (data == nullptr && size != 0)
    return platform::kErrorInvalidParameter;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  setValueNames_.push_back(name ? name : u"");
  keys_[{handle->second.root, handle->second.path}].values[Upper(name ? name : u"")] =
      Value{type, std::vector<std::uint8_t>(bytes, bytes + size)};
  return platform::kErrorSuccess;
}

ErrorCode FakeRegistry::DeleteTree(RegistryRoot root,
                                   const char16_t* subKey,
                                   std::uint32_t access) {
  std::lock_guard lock(mutex_);
  const auto canonical = Canonical(subKey ? subKey : u"");
  if (!canonical || canonical->empty())
    return platform::kErrorInvalidParameter;
  const std::u16string path = InView(root, *canonical, access);
  if (FindKey(root, path) == nullptr)
    return platform::kErrorFileNotFound;
  for (auto it = keys_.begin(); it != keys_.end();) {
    const auto& [keyRoot, keyPath] = it->first;
    const bool below = keyRoot == root && (keyPath == path || keyPath.rfind(path + u"\\", 0) == 0);
    it = below ? keys_.erase(it) : std::next(it);
  }
  return platform::kErrorSuccess;
}

void FakeRegistry::CloseKey(RegistryKeyHandle key) {
  std::lock_guard lock(mutex_);
  static_cast<void>(TakeFailure(Call::kCloseKey));  // the handle goes all the same
  if (handles_.erase(key) == 0)
    ++unmatchedCloses_;
}

ErrorCode FakeRegistry::TakeFailure(Call call) {
  ++calls_[call];
  const auto found = failures_.find(call);
  if (found == failures_.end() || found->second.error == 0 || found->second.times == 0)
    return 0;
  if (found->second.after > 0) {
    --found->second.after;
    return 0;
  }
  if (found->second.times > 0)
    --found->second.times;
  return found->second.error;
}

void FakeRegistry::SetRaw(RegistryRoot root,
                          const std::u16string& path,
                          const std::u16string& name,
                          std::uint32_t type,
                          std::vector<std::uint8_t> data) {
  std::lock_guard lock(mutex_);
  const std::u16string canonical = Canonical(path).value();
  for (std::size_t end = canonical.find(u'\\'); end != std::u16string::npos;
       end = canonical.find(u'\\', end + 1)) {
    keys_[{root, canonical.substr(0, end)}];
  }
  keys_[{root, canonical}].values[Upper(name)] = Value{type, std::move(data)};
}

void FakeRegistry::SetDword(RegistryRoot root,
                            const std::u16string& path,
                            const std::u16string& name,
                            std::uint32_t value) {
  std::vector<std::uint8_t> data(4);
  std::memcpy(data.data(), &value, 4);
  SetRaw(root, path, name, platform::kRegDword, std::move(data));
}

void FakeRegistry::SetString(RegistryRoot root,
                             const std::u16string& path,
                             const std::u16string& name,
                             const std::u16string& text,
                             std::uint32_t type) {
  std::vector<std::uint8_t> data((text.size() + 1) * 2);
  std::memcpy(data.data(), text.c_str(), data.size());
  SetRaw(root, path, name, type, std::move(data));
}

std::optional<FakeRegistry::Value> FakeRegistry::GetValue(RegistryRoot root,
                                                          const std::u16string& path,
                                                          const std::u16string& name) const {
  std::lock_guard lock(mutex_);
  const auto canonical = Canonical(path);
  const Key* key = canonical ? FindKey(root, *canonical) : nullptr;
  if (key == nullptr)
    return std::nullopt;
  const auto value = key->values.find(Upper(name));
  if (value == key->values.end())
    return std::nullopt;
  return value->second;
}

std::optional<std::uint32_t> FakeRegistry::GetDword(RegistryRoot root,
                                                    const std::u16string& path,
                                                    const std::u16string& name) const {
  const auto value = GetValue(root, path, name);
  if (!value || value->type != platform::kRegDword || value->data.size() != 4)
    return std::nullopt;
  std::uint32_t result = 0;
  std::memcpy(&result, value->data.data(), 4);
  return result;
}

std::optional<std::u16string> FakeRegistry::GetString(RegistryRoot root,
                                                      const std::u16string& path,
                                                      const std::u16string& name) const {
  const auto value = GetValue(root, path, name);
  if (!value || value->type != platform::kRegSz || value->data.size() % 2 != 0 ||
      value->data.size() < 2) {
    return std::nullopt;
  }
  std::u16string text(value->data.size() / 2, u'\0');
  std::memcpy(text.data(), value->data.data(), value->data.size());
  if (text.back() != u'\0')
    return std::nullopt;  // the system always stores the NUL
  text.pop_back();
  return text;
}

bool FakeRegistry::KeyExists(RegistryRoot root, const std::u16string& path) const {
  std::lock_guard lock(mutex_);
  const auto canonical = Canonical(path);
  return canonical && FindKey(root, *canonical) != nullptr;
}

void FakeRegistry::DeleteValue(RegistryRoot root,
                               const std::u16string& path,
                               const std::u16string& name) {
  std::lock_guard lock(mutex_);
  if (const auto canonical = Canonical(path)) {
    if (auto found = keys_.find({root, *canonical}); found != keys_.end()) {
      found->second.values.erase(Upper(name));
    }
  }
}

void FakeRegistry::DenyAccess(RegistryRoot root, const std::u16string& path) {
  std::lock_guard lock(mutex_);
  denied_.insert({root, Canonical(path).value()});
}

void FakeRegistry::FailCall(Call call, ErrorCode error, int times, int after) {
  std::lock_guard lock(mutex_);
  failures_[call] = {error, times, after};
}

std::size_t FakeRegistry::CallCount(Call call) const {
  std::lock_guard lock(mutex_);
  const auto found = calls_.find(call);
  return found == calls_.end() ? 0 : found->second;
}

std::size_t FakeRegistry::OpenHandleCount() const {
  std::lock_guard lock(mutex_);
  return handles_.size();
}

std::size_t FakeRegistry::UnmatchedCloses() const {
  std::lock_guard lock(mutex_);
  return unmatchedCloses_;
}

std::vector<FakeRegistry::Opening> FakeRegistry::Openings() const {
  std::lock_guard lock(mutex_);
  return openings_;
}

void FakeRegistry::ClearOpenings() {
  std::lock_guard lock(mutex_);
  openings_.clear();
}

std::size_t FakeRegistry::SetValueCount() const {
  std::lock_guard lock(mutex_);
  return setValueNames_.size();
}

std::vector<std::u16string> FakeRegistry::SetValueNames() const {
  std::lock_guard lock(mutex_);
  return setValueNames_;
}

}  // namespace calvera::fake
