#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/named_objects_contract.h"
#include "platform/win32/win32_companion_platform.h"

namespace calvera::contract {
namespace {

// One thread of its own, running the work handed to it in order.
class OwnerThread {
 public:
  OwnerThread() : thread_([this] { Loop(); }) {}
  ~OwnerThread() {
    {
      std::lock_guard lock(mutex_);
      ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  void Run(const std::function<void()>& work) {
    std::unique_lock lock(mutex_);
    work_.push_back(&work);
    changed_.notify_all();
    changed_.wait(lock, [this] { return work_.empty() && !busy_; });
  }

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return ending_ || !work_.empty(); });
      if (work_.empty())
        return;
      const std::function<void()>* work = work_.front();
      busy_ = true;
      work_.pop_front();
      lock.unlock();
      (*work)();
      lock.lock();
      busy_ = false;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<const std::function<void()>*> work_;
  bool busy_ = false;
  bool ending_ = false;
  std::thread thread_;
};

// Owners are threads of this process; the objects are the real ones.
class RealObjects final : public ObjectsUnderTest {
 public:
  NamedObjects& Owner(int) override { return platform::Win32CompanionPlatform().namedObjects; }
  void As(int n, const std::function<void()>& work) override {
    auto& owner = owners_[n];
    if (!owner)
      owner = std::make_unique<OwnerThread>();
    owner->Run(work);
  }
  // The thread ends; a mutex it holds is abandoned.
  void End(int n) override { owners_.erase(n); }

 private:
  std::map<int, std::unique_ptr<OwnerThread>> owners_;
};

std::unique_ptr<ObjectsUnderTest> MakeRealObjects() {
  return std::make_unique<RealObjects>();
}

INSTANTIATE_TEST_SUITE_P(Windows, NamedObjectsContract, ::testing::Values(&MakeRealObjects));

}  // namespace
}  // namespace calvera::contract
