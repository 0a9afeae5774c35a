// Most of the system's operations swallow every failure by design and fall back to a
// default: a read yields its default, a probe 0, a write or launch does nothing. These two
// helpers are the one place where that happens, so no empty catch block is scattered about.
#pragma once

#include <utility>

namespace calvera {

// The result of `work`, or `fallback` when it throws.
template <typename Work, typename T>
T TryOrDefault(Work&& work, T fallback) noexcept {
  try {
    return std::forward<Work>(work)();
  } catch (...) {
    return fallback;
  }
}

// Runs `work`; anything it throws is dropped.
template <typename Work>
void TryOrIgnore(Work&& work) noexcept {
  try {
    std::forward<Work>(work)();
  } catch (...) {
  }
}

}  // namespace calvera
