// How the companions that run at the same time agree on one worker. Each adds its request to a
// shared count and tries the worker mutex without waiting: the one that gets it serves the
// count until it is 0, releases the mutex and looks at the count once more; the others end at
// once. A request added while the worker serves is either taken by it or seen by its last look,
// so none is lost, and only the worker lives longer than a moment.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/named_objects.h"

namespace calvera::companion {

// Requests not yet taken by a worker.
struct PendingRequests {
  std::uint32_t requests = 0;
  std::uint64_t megabytes = 0;

  bool Empty() const { return requests == 0 && megabytes == 0; }
  friend bool operator==(const PendingRequests&, const PendingRequests&) = default;
};

// The shared count holds the number of requests above bit 40 and their megabytes below it, so
// that one atomic addition adds both: room for 2^24 requests of up to 1024 MB, while each
// companion takes the whole count within moments.
inline constexpr int kRequestCountShift = 40;

// The names: in the private namespace where the system has one, else in the global one.
inline constexpr char16_t kNamespaceAlias[] = u"Calvera";
inline constexpr char16_t kWorkerMutexName[] = u"Calvera\\CompanionWorker";
inline constexpr char16_t kPendingCountName[] = u"Calvera\\CompanionRequests";
inline constexpr char16_t kGlobalWorkerMutexName[] = u"Global\\Calvera.CompanionWorker";
inline constexpr char16_t kGlobalPendingCountName[] = u"Global\\Calvera.CompanionRequests";

// One per companion, on its main thread. Each operation returns the Windows error code of the
// named object it uses, kErrorSuccess (0) when it succeeded.
class Coordination {
 public:
  struct Failure {
    const char16_t* object;  // "worker mutex" or "request count"
    platform::ErrorCode error;
  };

  // Opens the namespace (or falls back to the global names), the mutex and the count.
  static std::optional<Coordination> Open(platform::NamedObjects& objects, Failure* failure);

  // Whether the objects live in the private namespace; otherwise why not.
  bool InPrivateNamespace() const { return static_cast<bool>(namespace_); }
  platform::ErrorCode NamespaceError() const { return namespaceError_; }

  [[nodiscard]] platform::ErrorCode AddRequest(std::uint32_t megabytes);
  // Takes every pending request, leaving the count at 0.
  [[nodiscard]] platform::ErrorCode TakePending(PendingRequests* taken);
  [[nodiscard]] platform::ErrorCode AnyPending(bool* any);

  // The worker mutex, tried without waiting. An abandoned mutex (a worker that ended without
  // releasing it) is acquired as well.
  [[nodiscard]] platform::ErrorCode TryLock(platform::LockResult* result);
  // Releases the mutex that TryLock acquired. A release that fails is let be: the mutex is
  // released at the latest when this process ends, and the next worker takes it as abandoned.
  void Unlock();

 private:
  Coordination(platform::NamedObjects& objects,
               platform::ScopedNamespace ns,
               platform::ErrorCode namespaceError,
               platform::ScopedMutex mutex,
               platform::ScopedCounter count);

  platform::NamedObjects* objects_;
  platform::ScopedNamespace namespace_;
  platform::ErrorCode namespaceError_;
  platform::ScopedMutex mutex_;
  platform::ScopedCounter count_;
};

// Holds the worker mutex that TryLock acquired and releases it when it goes out of scope.
class WorkerLock {
 public:
  explicit WorkerLock(Coordination& coordination) : coordination_(coordination) {}
  WorkerLock(const WorkerLock&) = delete;
  WorkerLock& operator=(const WorkerLock&) = delete;
  ~WorkerLock() { coordination_.Unlock(); }

 private:
  Coordination& coordination_;
};

}  // namespace calvera::companion
