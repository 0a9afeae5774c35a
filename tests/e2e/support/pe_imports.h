// The DLL names in the import table of a PE executable, 32- or 64-bit, read from its file.
// Callable from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace calvera::e2e {

// nullopt when the file cannot be read or is no PE image.
std::optional<std::vector<std::string>> ImportedLibraries(const std::wstring& path);

}  // namespace calvera::e2e
