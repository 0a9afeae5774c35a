// Fake executable resources and ANSI code page. (Fleshed out with the captions.)
#pragma once

#include "platform/resources.h"

namespace calvera::fake {

class FakeResources : public platform::Resources {
 public:
  std::optional<std::span<const std::byte>> FindRcData(const char16_t*) override {
    return std::nullopt;
  }
  std::u16string DecodeAnsi(std::span<const std::byte>) override { return {}; }
};

}  // namespace calvera::fake
