#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

// Runs produce(i) for i in [0, n) on up to `threads` threads, and consume(i, result) on the
// calling thread in the order of i, with at most `ahead` results waiting to be consumed, so
// that memory stays bounded. When consume returns false nothing more is consumed, and the
// producers stop soon after. With one thread, or when no thread can be started, the calling
// thread does all the work in order. Returns false when consume did.
template <typename Result, typename Produce, typename Consume>
bool OrderedParallel(size_t n, int threads, size_t ahead, Produce produce, Consume consume) {
  if (threads <= 1 || n <= 1) {
    for (size_t i = 0; i < n; ++i) {
      Result result = produce(i);
      if (!consume(i, result)) return false;
    }
    return true;
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::optional<Result>> slots(n);
  size_t next_to_produce = 0;
  size_t next_to_consume = 0;
  bool stop = false;

  auto work = [&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return stop || next_to_produce >= n || next_to_produce < next_to_consume + ahead; });
      if (stop || next_to_produce >= n) return;
      size_t i = next_to_produce++;
      lock.unlock();
      Result result = produce(i);
      lock.lock();
      slots[i] = std::move(result);
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  try {
    for (int t = 0; t < threads; ++t) workers.emplace_back(work);
  } catch (const std::system_error&) {
    // Fewer threads than asked for; with none, the calling thread produces below.
  }
  bool ok = true;
  for (size_t i = 0; i < n && ok; ++i) {
    std::unique_lock<std::mutex> lock(mutex);
    if (workers.empty() && !slots[i]) {
      ++next_to_produce;
      lock.unlock();
      slots[i] = produce(i);
      lock.lock();
    }
    changed.wait(lock, [&] { return slots[i].has_value(); });
    Result result = std::move(*slots[i]);
    slots[i].reset();
    ++next_to_consume;
    changed.notify_all();
    lock.unlock();
    ok = consume(i, result);
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    stop = true;
    changed.notify_all();
  }
  for (std::thread& worker : workers) worker.join();
  return ok;
}

// Results that were consumed, kept for the producers of the next ones: their memory is
// touched once, instead of being given back to the system and faulted in again for every
// piece, which on some machines costs more than the work itself. Used from several threads;
// Give takes an item that its user has emptied.
template <typename T>
class Pool {
 public:
  T Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (free_.empty()) return T();
    T item = std::move(free_.back());
    free_.pop_back();
    return item;
  }
  void Give(T& item) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(item));
  }

 private:
  std::mutex mutex_;
  std::vector<T> free_;
};

// Below this size a text is handled on one thread: starting threads costs more than it saves.
constexpr size_t kParallelFrom = size_t{4} << 20;
inline int ThreadsFor(size_t text_size, int threads) { return text_size < kParallelFrom ? 1 : threads; }

// Runs scan(from, to) on each block of `block` bytes of a text of `size` bytes, on up to
// `threads` threads (one for a small text), and take(result) on the calling thread in the
// order of the blocks.
template <typename Result, typename Scan, typename Take>
void ScanBlocksInOrder(size_t size, size_t block, int threads, Scan scan, Take take) {
  const size_t blocks = (size + block - 1) / block;
  OrderedParallel<Result>(
      blocks, ThreadsFor(size, threads), 4, [&](size_t i) { return scan(i * block, std::min(size, (i + 1) * block)); },
      [&](size_t, Result& result) {
        take(result);
        return true;
      });
}

// Cuts items [0, n) into pieces of about `piece` bytes, size(i) being the bytes of item i: the
// piece k is [bounds[k], bounds[k + 1]).
template <typename Size>
std::vector<size_t> PieceBounds(size_t n, size_t piece, Size size) {
  std::vector<size_t> bounds{0};
  size_t bytes = 0;
  for (size_t i = 0; i < n; ++i) {
    bytes += size(i);
    if (bytes >= piece) {
      bounds.push_back(i + 1);
      bytes = 0;
    }
  }
  if (bounds.back() != n) bounds.push_back(n);
  return bounds;
}
