// The thread on which a service starts, runs its execute phase and handles control requests.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace calvera::service {

class ControlQueue;
class TService;

class TServiceThread {
 public:
  // Created not yet running; `requests` is the service's queue, open while this thread lives.
  TServiceThread(TService& service, ControlQueue& requests);
  TServiceThread(const TServiceThread&) = delete;
  TServiceThread& operator=(const TServiceThread&) = delete;
  // Waits for the body when it is still running.
  ~TServiceThread();

  // Starts the body. On the manager's thread for the service, once; throws std::system_error
  // when no thread can be created.
  void Start();
  // Returns when the body has ended. On the manager's thread for the service.
  void WaitFor();

  // The termination flag that ends the execute phase. Service thread.
  bool Terminated() const { return terminated_; }
  void Terminate() { terminated_ = true; }

  // Runs the queued control requests in order. With `waitForMessage` it waits for requests
  // and returns once the thread is terminated; without, it returns as soon as none is
  // waiting. Once terminated, a stop, pause, continue or shutdown is taken and dropped.
  // Service thread.
  void ProcessRequests(bool waitForMessage);
  // Returns as soon as a control request waits, or after `limit` without one. Service thread.
  void WaitForRequest(std::chrono::milliseconds limit);

 private:
  void Execute() noexcept;
  void RunControlRequest(std::uint32_t code);

  TService& service_;
  ControlQueue& requests_;
  bool terminated_ = false;
  std::thread thread_;
};

}  // namespace calvera::service
