#include "fake/interleaving.h"

#include <thread>

namespace calvera::fake {
namespace {

// Which body the calling thread runs, for Switch(); none outside a run.
thread_local const void* runningIn = nullptr;
thread_local std::size_t runningBody = 0;

}  // namespace

void Interleaving::Run(const std::vector<std::function<void()>>& bodies) {
  {
    std::lock_guard lock(mutex_);
    finished_.assign(bodies.size(), false);
    current_ = 0;
    running_ = true;
  }
  std::vector<std::thread> threads;
  threads.reserve(bodies.size());
  for (std::size_t index = 0; index < bodies.size(); ++index) {
    threads.emplace_back([this, index, &bodies] {
      runningIn = this;
      runningBody = index;
      {
        std::unique_lock lock(mutex_);
        WaitForTurn(lock, index);
      }
      bodies[index]();
      std::unique_lock lock(mutex_);
      finished_[index] = true;
      HandOn(lock);
      runningIn = nullptr;
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  std::lock_guard lock(mutex_);
  running_ = false;
}

void Interleaving::Switch() {
  if (runningIn != this)
    return;
  std::unique_lock lock(mutex_);
  HandOn(lock);
  WaitForTurn(lock, runningBody);
}

void Interleaving::HandOn(std::unique_lock<std::mutex>&) {
  std::vector<std::size_t> runnable;
  for (std::size_t index = 0; index < finished_.size(); ++index) {
    if (!finished_[index])
      runnable.push_back(index);
  }
  if (runnable.empty())
    return;
  current_ = runnable.size() == 1 ? runnable.front() : runnable.at(chooser_(runnable.size()));
  turn_.notify_all();
}

void Interleaving::WaitForTurn(std::unique_lock<std::mutex>& lock, std::size_t self) {
  turn_.wait(lock, [this, self] { return current_ == self; });
}

std::size_t EveryOrder::Choose(std::size_t runnable) {
  if (depth_ < path_.size())
    return path_[depth_++].taken;
  path_.push_back(Choice{0, runnable});
  ++depth_;
  return 0;
}

bool EveryOrder::Next() {
  depth_ = 0;
  while (!path_.empty() && path_.back().taken + 1 >= path_.back().of)
    path_.pop_back();
  if (path_.empty())
    return false;
  ++path_.back().taken;
  return true;
}

}  // namespace calvera::fake
