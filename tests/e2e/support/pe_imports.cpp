#include "e2e/support/pe_imports.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace calvera::e2e {
namespace {

template <typename T>
bool ReadAt(const std::vector<char>& image, std::size_t offset, T* value) {
  if (offset > image.size() || image.size() - offset < sizeof(T))
    return false;
  std::memcpy(value, image.data() + offset, sizeof(T));
  return true;
}

}  // namespace

std::optional<std::vector<std::string>> ImportedLibraries(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  if (!file)
    return std::nullopt;
  const std::vector<char> image((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());

  IMAGE_DOS_HEADER dos{};
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (!ReadAt(image, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      !ReadAt(image, static_cast<std::size_t>(dos.e_lfanew), &signature) ||
      signature != IMAGE_NT_SIGNATURE ||
      !ReadAt(image, static_cast<std::size_t>(dos.e_lfanew) + 4, &header)) {
    return std::nullopt;
  }
  const std::size_t optional = static_cast<std::size_t>(dos.e_lfanew) + 4 + sizeof header;
  WORD magic = 0;
  if (!ReadAt(image, optional, &magic))
    return std::nullopt;
  IMAGE_DATA_DIRECTORY imports{};
  if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    IMAGE_OPTIONAL_HEADER64 optional64{};
    if (!ReadAt(image, optional, &optional64))
      return std::nullopt;
    imports = optional64.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  } else if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    IMAGE_OPTIONAL_HEADER32 optional32{};
    if (!ReadAt(image, optional, &optional32))
      return std::nullopt;
    imports = optional32.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  } else {
    return std::nullopt;
  }

  const std::size_t sections = optional + header.SizeOfOptionalHeader;
  // The file offset of a relative virtual address, through the section that holds it.
  const auto fileOffset = [&](DWORD rva) -> std::optional<std::size_t> {
    for (WORD i = 0; i < header.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section{};
      if (!ReadAt(image, sections + i * sizeof section, &section))
        return std::nullopt;
      const DWORD size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
      if (rva >= section.VirtualAddress && rva < section.VirtualAddress + size)
        return rva - section.VirtualAddress + section.PointerToRawData;
    }
    return std::nullopt;
  };

  std::vector<std::string> names;
  const auto table = fileOffset(imports.VirtualAddress);
  if (imports.VirtualAddress == 0 || !table)
    return names;
  for (std::size_t at = *table;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR descriptor{};
    if (!ReadAt(image, at, &descriptor))
      return std::nullopt;
    if (descriptor.Name == 0)
      break;
    const auto name = fileOffset(descriptor.Name);
    if (!name || *name >= image.size())
      return std::nullopt;
    names.emplace_back(image.data() + *name, strnlen(image.data() + *name, image.size() - *name));
  }
  return names;
}

}  // namespace calvera::e2e
