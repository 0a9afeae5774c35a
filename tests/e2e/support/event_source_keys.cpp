#include "e2e/support/event_source_keys.h"

#include <windows.h>

#include <cstring>

#include "e2e/support/event_messages.h"
#include "e2e/support/module_resources.h"
#include "e2e/support/settings_key.h"
#include "e2e/support/text.h"
#include "e2e/support/unique_handle.h"

namespace calvera::e2e {
namespace {

std::wstring KeyPath(const wchar_t* source) {
  return std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + source;
}

// ERROR_SUCCESS when the key can be opened, else the registry's error.
LONG OpenError(const std::wstring& path) {
  UniqueRegistryKey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put());
}

// The text of a REG_SZ or REG_EXPAND_SZ, without its terminators.
std::wstring StringData(const RegistryValue& value) {
  std::wstring text(value.data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), value.data.data(), text.size() * sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0')
    text.pop_back();
  return text;
}

std::wstring Expanded(const std::wstring& text) {
  std::wstring expanded(32768, L'\0');
  const DWORD length =
      ExpandEnvironmentStringsW(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
  expanded.resize(length == 0 ? 0 : length - 1);
  return expanded;
}

}  // namespace

testing::AssertionResult EventSourcesRegistered(const std::wstring& folder) {
  for (const EventSource& source : EventSources()) {
    const SettingsKey key(KeyPath(source.name));
    const std::string name = Utf8(source.name);
    if (const LONG error = OpenError(key.Path()); error != ERROR_SUCCESS) {
      return testing::AssertionFailure()
             << "no key of the source " << name << ": " << ErrorText(static_cast<DWORD>(error));
    }
    const std::optional<RegistryValue> file = key.Read(L"EventMessageFile");
    const std::wstring expectedFile = folder + source.executable;
    if (!file || file->type != REG_EXPAND_SZ || StringData(*file) != expectedFile) {
      return testing::AssertionFailure()
             << name << ": EventMessageFile is "
             << (file
                     ? Describe(L"EventMessageFile", *file) + " \"" + Utf8(StringData(*file)) + "\""
                     : "absent")
             << ", not the REG_EXPAND_SZ \"" << Utf8(expectedFile) << "\"";
    }
    const std::optional<RegistryValue> types = key.Read(L"TypesSupported");
    if (!types || *types != RegistryValue{REG_DWORD, DwordData(7)}) {
      return testing::AssertionFailure()
             << name << ": TypesSupported is "
             << (types ? Describe(L"TypesSupported", *types) : "absent") << ", not the DWORD 7";
    }
    // As Event Viewer does: the path expanded, the file loaded as data, each ID formatted.
    const std::wstring messageFile = Expanded(StringData(*file));
    for (const DWORD id : source.ids) {
      DWORD error = ERROR_SUCCESS;
      const std::optional<std::wstring> text =
          FormatEventMessage(messageFile, id, 0, kInsertionText, &error);
      if (!text || *text != kInsertionText) {
        return testing::AssertionFailure()
               << name << ": event " << id << " from " << Utf8(messageFile) << " renders "
               << (text ? "\"" + Utf8(*text) + "\"" : ErrorText(error));
      }
    }
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult EventSourcesAbsent() {
  for (const EventSource& source : EventSources()) {
    if (const LONG error = OpenError(KeyPath(source.name)); error != ERROR_FILE_NOT_FOUND) {
      return testing::AssertionFailure()
             << "the source " << Utf8(source.name) << " still has a key ("
             << (error == ERROR_SUCCESS ? std::string("it opens")
                                        : ErrorText(static_cast<DWORD>(error)))
             << ")";
    }
  }
  return testing::AssertionSuccess();
}

}  // namespace calvera::e2e
