// Reading a REG_MULTI_SZ setting, in the manner of the settings store: the call opens the key,
// reads the one value and closes the key; nothing is kept, and no failure leaves it. Any thread
// may call.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace calvera::config {

// The strings of a REG_MULTI_SZ value, in order, up to the empty string that ends the list
// (a list whose final NULs are missing ends with its data). Empty when the key or the value is
// absent, the value is of another type, or it cannot be read.
std::vector<std::u16string> ReadRegistryMultiString(platform::Registry& registry,
                                                    platform::RegistryRoot root,
                                                    const char16_t* keyPath,
                                                    const char16_t* valueName,
                                                    bool use64BitView);

}  // namespace calvera::config
