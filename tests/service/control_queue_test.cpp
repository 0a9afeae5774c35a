#include "service/control_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

namespace calvera::service {
namespace {

constexpr auto kTimeout = std::chrono::seconds(10);

std::vector<std::uint32_t> Drain(ControlQueue& queue) {
  std::vector<std::uint32_t> codes;
  while (const auto code = queue.TryTake()) {
    codes.push_back(*code);
  }
  return codes;
}

TEST(ControlQueueTest, KeepsOrderWhileOpenAndDropsWhileClosed) {
  ControlQueue queue;
  queue.Post(1);
  queue.Open();
  for (std::uint32_t code : {4u, 2u, 128u, 3u}) {
    queue.Post(code);
  }
  EXPECT_EQ(Drain(queue), (std::vector<std::uint32_t>{4, 2, 128, 3}));
  queue.Post(1);
  queue.Close();
  queue.Post(5);
  EXPECT_FALSE(queue.TryTake());
  queue.Open();
  EXPECT_FALSE(queue.TryTake());
}

TEST(ControlQueueTest, WaitingEndsWithARequestFromAnotherThreadOrWithClosing) {
  ControlQueue queue;
  queue.Open();
  auto held = std::async(std::launch::async, [&] { queue.WaitForRequest(); });
  EXPECT_EQ(held.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  queue.Post(3);
  ASSERT_EQ(held.wait_for(kTimeout), std::future_status::ready);
  // Waiting leaves the request for the one who takes it.
  auto taken = std::async(std::launch::async, [&] { return queue.Take(); });
  ASSERT_EQ(taken.wait_for(kTimeout), std::future_status::ready);
  EXPECT_EQ(taken.get(), 3u);

  auto closed = std::async(std::launch::async, [&] { return queue.Take(); });
  queue.Close();
  ASSERT_EQ(closed.wait_for(kTimeout), std::future_status::ready);
  EXPECT_FALSE(closed.get());
}

TEST(ControlQueueTest, TimedWaitEndsAtItsLimitOrAtOnceWithARequest) {
  ControlQueue queue;
  queue.Open();
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(queue.WaitForRequest(std::chrono::milliseconds(60)));
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(60));

  auto held = std::async(std::launch::async,
                         [&] { return queue.WaitForRequest(std::chrono::seconds(30)); });
  EXPECT_EQ(held.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  queue.Post(2);
  ASSERT_EQ(held.wait_for(kTimeout), std::future_status::ready);
  EXPECT_TRUE(held.get());
  EXPECT_EQ(queue.TryTake(), 2u);  // left queued for the one who takes it
}

}  // namespace
}  // namespace calvera::service
