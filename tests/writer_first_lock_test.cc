// The lock that dictionary renames and deletions take: a writer that waits
// is let in before readers that ask after it, so that checks arriving one
// after another cannot keep a build or a deletion out.

#include <atomic>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/writer_first_lock.h"

namespace {

using namespace std::chrono_literals;

TEST(WriterFirstLockTest, AWaitingWriterGoesBeforeLaterReaders) {
  quarvel::WriterFirstLock lock;
  std::mutex order_mutex;
  std::string order;
  auto note = [&](char who) {
    std::lock_guard guard(order_mutex);
    order += who;
  };

  lock.lock_shared();  // a check in flight
  std::thread writer([&] {
    std::lock_guard held(lock);
    note('W');
  });
  // Once the writer waits, no new reader gets in.
  bool writer_waits = false;
  for (auto until = std::chrono::steady_clock::now() + 10s;
       !writer_waits && std::chrono::steady_clock::now() < until;) {
    if (lock.try_lock_shared()) {
      lock.unlock_shared();
      std::this_thread::sleep_for(1ms);
    } else {
      writer_waits = true;
    }
  }
  EXPECT_TRUE(writer_waits) << "readers still get in while a writer waits";

  std::atomic<bool> reader_in{false};
  std::thread reader([&] {
    std::shared_lock held(lock);
    reader_in = true;
    note('R');
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(reader_in) << "a later reader went ahead of the waiting writer";
  EXPECT_EQ(order, "");

  lock.unlock_shared();  // the check in flight ends: the writer, then the reader
  writer.join();
  reader.join();
  EXPECT_EQ(order, "WR");

  // Readers share the lock when no writer waits.
  lock.lock_shared();
  EXPECT_TRUE(lock.try_lock_shared());
  EXPECT_FALSE(lock.try_lock());
  lock.unlock_shared();
  lock.unlock_shared();
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
}

}  // namespace
