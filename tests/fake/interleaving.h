// Runs several bodies on threads of their own, one at a time, switching only where a running
// body calls Switch(): there the chooser picks which body goes on, so that a test can drive
// every order of the points that matter, or many random ones, and replay any of them. The
// fakes call Switch() through their hooks.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace calvera::fake {

class Interleaving {
 public:
  // Given how many bodies may run on, returns the index of the one to run among them (in the
  // order the bodies were given); the one that just ran is among them.
  using Chooser = std::function<std::size_t(std::size_t runnable)>;

  explicit Interleaving(Chooser chooser) : chooser_(std::move(chooser)) {}

  // Runs every body to its end; the first one starts.
  void Run(const std::vector<std::function<void()>>& bodies);
  // From a running body: a point where another body may run. Elsewhere it returns at once.
  void Switch();

 private:
  void HandOn(std::unique_lock<std::mutex>& lock);
  void WaitForTurn(std::unique_lock<std::mutex>& lock, std::size_t self);

  Chooser chooser_;
  std::mutex mutex_;
  std::condition_variable turn_;
  std::vector<bool> finished_;
  std::size_t current_ = 0;
  bool running_ = false;
};

// A chooser that tries every order, one per pass: each pass follows the choices of the last
// one as far as it can and then takes the next untried one.
class EveryOrder {
 public:
  std::size_t Choose(std::size_t runnable);
  // Prepares the next pass; false when every order has been tried.
  bool Next();

 private:
  struct Choice {
    std::size_t taken;
    std::size_t of;
  };
  std::vector<Choice> path_;
  std::size_t depth_ = 0;
};

}  // namespace calvera::fake
