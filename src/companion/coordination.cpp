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
  // Held for the companion's life: the names inside it resolve only while it is open.
  platform::ScopedNamespace ns(objects);
  const platform::ErrorCode namespaceError = objects.OpenSystemNamespace(kNamespaceAlias, ns.put());
  const bool inNamespace = namespaceError == platform::kErrorSuccess;
  platform::ScopedMutex mutex(objects);
  platform::ErrorCode error = objects.OpenOrCreateMutex(
      inNamespace ? kWorkerMutexName : kGlobalWorkerMutexName, mutex.put());
  if (error != platform::kErrorSuccess) {
    *failure = Failure{u"worker mutex", error};
    return std::nullopt;
  }
  platform::ScopedCounter count(objects);
  error = objects.OpenOrCreateCounter(inNamespace ? kPendingCountName : kGlobalPendingCountName,
                                      count.put());
  if (error != platform::kErrorSuccess) {
    *failure = Failure{u"request count", error};
    return std::nullopt;
  }
  return Coordination(objects, std::move(ns), namespaceError, std::move(mutex), std::move(count));
}

platform::ErrorCode Coordination::AddRequest(std::uint32_t megabytes) {
  std::uint64_t before = 0;
  return objects_->AddToCounter(count_.get(), kOneRequest + megabytes, &before);
}

platform::ErrorCode Coordination::TakePending(PendingRequests* taken) {
  std::uint64_t count = 0;
  const platform::ErrorCode error = objects_->TakeCounter(count_.get(), &count);
  *taken = PendingRequests{static_cast<std::uint32_t>(count >> kRequestCountShift),
                           count & kMegabytesMask};
  return error;
}

platform::ErrorCode Coordination::AnyPending(bool* any) {
  std::uint64_t count = 0;
  const platform::ErrorCode error = objects_->ReadCounter(count_.get(), &count);
  *any = count != 0;
  return error;
}

platform::ErrorCode Coordination::TryLock(platform::LockResult* result) {
  return objects_->TryLock(mutex_.get(), result);
}

void Coordination::Unlock() {
  static_cast<void>(objects_->Unlock(mutex_.get()));
}

}  // namespace calvera::companion
