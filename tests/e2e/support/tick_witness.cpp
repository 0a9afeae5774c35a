#include "e2e/support/tick_witness.h"

namespace calvera::e2e {

bool TickWitness::Arm() const {
  return settings_.Delete(L"UpdatedDate") == ERROR_SUCCESS &&
         settings_.WriteDword(L"Updated", 1) == ERROR_SUCCESS;
}

bool TickWitness::Stamped() const {
  return settings_.Read(L"Updated") == RegistryValue{REG_DWORD, DwordData(0)} &&
         settings_.Read(L"UpdatedDate").has_value();
}

bool TickWitness::WaitForTickBegun(Deadline deadline, Milliseconds* took) const {
  const std::uint64_t began = NowMs();
  if (!Arm())
    return false;
  const bool ticked = WaitUntil([this] { return Stamped(); }, deadline);
  if (took != nullptr)
    *took = Milliseconds(NowMs() - began);
  return ticked;
}

bool TickWitness::WaitForTickEnded(Deadline deadline) const {
  return WaitForTickBegun(deadline) && WaitForTickBegun(deadline);
}

bool TickWitness::NoTickFor(Milliseconds interval) const {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!Arm())
      return false;
    const bool changed = WaitUntil(
        [this] {
          return settings_.Read(L"Updated") != RegistryValue{REG_DWORD, DwordData(1)};
        },
        Deadline::After(interval));
    if (!changed)
      return true;  // it stayed 1 over the whole interval
  }
  return false;
}

}  // namespace calvera::e2e
