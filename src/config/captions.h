// The localized captions: texts found by (form name, control name) in the caption table of the
// language that the `Language` setting names. Called on the main thread while the service is
// installed; nothing is cached, so every call reads the setting and the table again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace calvera::config {

// The caption of the last row of the `Language` table (the policy key's `Language` when it
// holds a non-empty string, else the settings key's) that matches both names in ASCII case;
// empty when none matches, the language has no table, or anything fails. Never throws.
std::u16string LookupCaption(platform::Platform& platform,
                             std::u16string_view formName,
                             std::u16string_view controlName);

// The decoded text of the executable's caption table for `language` (the resource name is
// matched without regard to case); nullopt when there is no such table. May throw bad_alloc.
std::optional<std::u16string> LoadCaptionTable(platform::Resources& resources,
                                               std::u16string_view language);

}  // namespace calvera::config
