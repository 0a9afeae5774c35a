// calvera_reg <command> ...: the settings key HKLM\Software\Tolvane\Calvera in the 32-bit view,
// the view the service reads.
//   write <name> <type> <data> [<name> <type> <data>]...: stores each value as given, creating
//       the key. <type>: sz, expand_sz, multi_sz, binary, dword, qword, or a number.
//       <data>: hex:<bytes> (hex: alone is empty data), dword:<n>, qword:<n> (little-endian,
//       decimal or 0x...), text:<text> (UTF-16 with one NUL), or repeat:<count>:<text> (the
//       text that many times, with one NUL). Non-ASCII text is best given as hex: of its
//       UTF-16LE bytes, since Wine decodes the command line by the host's locale.
//   replace <name> <type> <data>...: clear, then write.
//   delete <name>...: removes those values.
//   clear: removes the key.
//   dump: one line per value, "<name> type=<n> size=<n> data=<hex of the first 32 bytes>"
//       followed by " fnv=<hash of all of it>" when the data is longer.
// Exit code 0 on success, 1 on failure.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kKeyPath = L"Software\\Tolvane\\Calvera";

class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (key_)
      RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

int Fail(const wchar_t* what, LONG status) {
  std::fwprintf(stderr, L"calvera_reg: %ls failed with %ld\n", what, status);
  return 1;
}

bool ParseType(const std::wstring& name, DWORD* type) {
  static const struct {
    const wchar_t* name;
    DWORD type;
  } kTypes[] = {{L"sz", REG_SZ},         {L"expand_sz", REG_EXPAND_SZ}, {L"multi_sz", REG_MULTI_SZ},
                {L"binary", REG_BINARY}, {L"dword", REG_DWORD},         {L"qword", REG_QWORD}};
  for (const auto& known : kTypes) {
    if (name == known.name) {
      *type = known.type;
      return true;
    }
  }
  wchar_t* end = nullptr;
  *type = static_cast<DWORD>(std::wcstoul(name.c_str(), &end, 0));
  return !name.empty() && *end == L'\0';
}

void AppendText(std::vector<BYTE>* data, const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  data->insert(data->end(), bytes, bytes + text.size() * sizeof(wchar_t));
}

template <typename Integer>
void AppendInteger(std::vector<BYTE>* data, const std::wstring& text) {
  const auto value = static_cast<Integer>(std::wcstoull(text.c_str(), nullptr, 0));
  const auto* bytes = reinterpret_cast<const BYTE*>(&value);
  data->insert(data->end(), bytes, bytes + sizeof value);
}

bool ParseData(const std::wstring& spec, std::vector<BYTE>* data) {
  const auto colon = spec.find(L':');
  if (colon == std::wstring::npos)
    return false;
  const std::wstring kind = spec.substr(0, colon);
  const std::wstring rest = spec.substr(colon + 1);
  if (kind == L"hex") {
    if (rest.size() % 2 != 0)
      return false;
    for (std::size_t i = 0; i < rest.size(); i += 2)
      data->push_back(static_cast<BYTE>(std::wcstoul(rest.substr(i, 2).c_str(), nullptr, 16)));
    return true;
  }
  if (kind == L"dword") {
    AppendInteger<DWORD>(data, rest);
    return true;
  }
  if (kind == L"qword") {
    AppendInteger<ULONGLONG>(data, rest);
    return true;
  }
  if (kind == L"text") {
    AppendText(data, rest + L'\0');
    return true;
  }
  if (kind == L"repeat") {
    const auto second = rest.find(L':');
    if (second == std::wstring::npos)
      return false;
    const unsigned long count = std::wcstoul(rest.substr(0, second).c_str(), nullptr, 10);
    const std::wstring unit = rest.substr(second + 1);
    std::wstring text;
    text.reserve(unit.size() * count + 1);
    for (unsigned long i = 0; i < count; ++i)
      text += unit;
    AppendText(data, text + L'\0');
    return true;
  }
  return false;
}

int Write(int argc, wchar_t** argv) {
  if (argc % 3 != 0) {
    std::fwprintf(stderr, L"calvera_reg: write takes <name> <type> <data> triples\n");
    return 2;
  }
  Key key;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_WRITE | KEY_WOW64_32KEY, nullptr, key.out(), nullptr);
  if (status != ERROR_SUCCESS)
    return Fail(L"RegCreateKeyExW", status);
  for (int i = 0; i + 2 < argc; i += 3) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ParseType(argv[i + 1], &type) || !ParseData(argv[i + 2], &data)) {
      std::fwprintf(stderr, L"calvera_reg: bad value %ls %ls %ls\n", argv[i], argv[i + 1],
                    argv[i + 2]);
      return 1;
    }
    status = RegSetValueExW(key.get(), argv[i], 0, type, data.empty() ? nullptr : data.data(),
                            static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS)
      return Fail(L"RegSetValueExW", status);
  }
  return 0;
}

int Delete(int argc, wchar_t** argv) {
  Key key;
  LONG status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_WRITE | KEY_WOW64_32KEY, key.out());
  if (status != ERROR_SUCCESS)
    return Fail(L"RegOpenKeyExW", status);
  for (int i = 0; i < argc; ++i)
    RegDeleteValueW(key.get(), argv[i]);  // an absent value is what the caller wants
  return 0;
}

int Clear() {
  const LONG status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKeyPath, KEY_WOW64_32KEY, 0);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND
             ? 0
             : Fail(L"RegDeleteKeyExW", status);
}

int Dump() {
  Key key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ | KEY_WOW64_32KEY, key.out()) !=
      ERROR_SUCCESS) {
    return 0;  // no key, no values
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = sizeof name / sizeof name[0];
    DWORD type = 0;
    DWORD size = 0;
    if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      break;
    }
    std::vector<BYTE> data(size + 1);
    nameLength = sizeof name / sizeof name[0];
    if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
      break;
    }
    std::printf("%ls type=%lu size=%lu data=", name, type, size);
    for (DWORD i = 0; i < size && i < 32; ++i)
      std::printf("%02x", data[i]);
    if (size > 32) {
      std::uint32_t hash = 2166136261u;
      for (DWORD i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
      std::printf(" fnv=%08x", hash);
    }
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"write")
    return Write(argc - 2, argv + 2);
  if (command == L"replace")
    return Clear() != 0 ? 1 : Write(argc - 2, argv + 2);
  if (command == L"delete")
    return Delete(argc - 2, argv + 2);
  if (command == L"clear")
    return Clear();
  if (command == L"dump")
    return Dump();
  std::fwprintf(stderr, L"usage: calvera_reg write|replace|delete|clear|dump ...\n");
  return 2;
}
