// The handles that a fake hands out for one kind: distinct and never {}, as Windows's are. Used
// under the fake's own lock.
#pragma once

#include <cstdint>

namespace calvera::fake {

template <typename Handle>
class HandleValues {
 public:
  // The first handle has the value `first`, each later one the next value.
  explicit HandleValues(std::uintptr_t first) : next_(first) {}

  Handle Next() { return static_cast<Handle>(next_++); }

 private:
  std::uintptr_t next_;
};

}  // namespace calvera::fake
