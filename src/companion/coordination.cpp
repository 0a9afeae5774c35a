#include "companion/coordination.h"

#include <utility>

namespace calvera::companion {
namespace {

using platform::NamedObjects;

constexpr std::uint64_t kOneRequest = std::uint64_t{1} << kRequestCountShift;
constexpr std::uint64_t kMegabytesMask = kOneRequest - 1;

}  // namespace

Coordination::Coordination(NamedObjects& objects,
                           platform::ScopedNamespace ns,
                           platform::ErrorCode namespaceError,
                           platform::ScopedMutex mutex,
                           platform::ScopedCounter count)
    : objects_(&objects),
      namespace_(std::move(ns)),
      namespaceError_(namespaceError),
      mutex_(std::move(mutex)),
      count_(std::move(count)) {}

std::optional<Coordination> Coordination::Open(NamedObjects& objects, Failure* failure) {
  platform::ErrorCode namespaceError = platform::kErrorSuccess;
  // Held for the companion's life: the names inside it resolve only while it is open.
  platform::ScopedNamespace ns(objects,
                               objects.OpenSystemNamespace(kNamespaceAlias, &namespaceError));
  const bool inNamespace = static_cast<bool>(ns);
  platform::ErrorCode error = platform::kErrorSuccess;
  platform::ScopedMutex mutex(
      objects,
      objects.OpenOrCreateMutex(inNamespace ? kWorkerMutexName : kGlobalWorkerMutexName, &error));
  if (!mutex) {
    *failure = Failure{u"worker mutex", error};
    return std::nullopt;
  }
  platform::ScopedCounter count(
      objects,
      objects.OpenOrCreateCounter(inNamespace ? kPendingCountName : kGlobalPendingCountName,
                                  &error));
  if (!count) {
    *failure = Failure{u"request count", error};
    return std::nullopt;
  }
  return Coordination(objects, std::move(ns), inNamespace ? platform::kErrorSuccess : namespaceError,
                      std::move(mutex), std::move(count));
}

void Coordination::AddRequest(std::uint32_t megabytes) {
  static_cast<void>(objects_->AddToCounter(count_.get(), kOneRequest + megabytes));
}

PendingRequests Coordination::TakePending() {
  const std::uint64_t taken = objects_->TakeCounter(count_.get());
  return PendingRequests{static_cast<std::uint32_t>(taken >> kRequestCountShift),
                         taken & kMegabytesMask};
}

bool Coordination::AnyPending() {
  return objects_->ReadCounter(count_.get()) != 0;
}

platform::LockResult Coordination::TryLock() {
  return objects_->TryLock(mutex_.get());
}

void Coordination::Unlock() {
  objects_->Unlock(mutex_.get());
}

}  // namespace calvera::companion
