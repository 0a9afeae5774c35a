#include "platform/win32/win32_resources.h"

#include <climits>

#include "platform/failure_policy.h"
#include "platform/win32/win32_api.h"

namespace calvera::platform {
namespace {

constexpr WORD kEnglishUnitedStates = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::u16string Decode(std::span<const std::byte> bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) {
    return {};
  }
  const auto* text = reinterpret_cast<const char*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text, size, nullptr, 0);
  if (length <= 0) {
    return {};
  }
  std::u16string decoded(static_cast<std::size_t>(length), u'\0');
  const int written = ::MultiByteToWideChar(CP_ACP, 0, text, size,
                                            reinterpret_cast<wchar_t*>(decoded.data()), length);
  decoded.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return decoded;
}

}  // namespace

std::optional<std::span<const std::byte>> Win32Resources::FindRcData(const char16_t* name) {
  // A null module is the executable; resources stay mapped as long as it is loaded.
  const HRSRC found = ::FindResourceExW(nullptr, RT_RCDATA, Wide(name), kEnglishUnitedStates);
  if (found == nullptr) {
    return std::nullopt;
  }
  const HGLOBAL loaded = ::LoadResource(nullptr, found);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) {
    return std::nullopt;
  }
  return std::span<const std::byte>(static_cast<const std::byte*>(bytes),
                                    ::SizeofResource(nullptr, found));
}

std::u16string Win32Resources::DecodeAnsi(std::span<const std::byte> bytes) {
  return TryOrDefault([bytes] { return Decode(bytes); }, std::u16string());
}

}  // namespace calvera::platform
