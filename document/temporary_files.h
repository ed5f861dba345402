#pragma once

#include <atomic>

// The paths of temporary files being written, kept where a signal handler can reach them
// without locks or allocation.
class TemporaryFileRecord {
 public:
  static constexpr int kSlots = 256;

  // Records `path`, which must outlive the record. When every slot is taken the file is
  // simply not recorded.
  explicit TemporaryFileRecord(const char* path) {
    for (auto& slot : slots_) {
      const char* empty = nullptr;
      if (slot.compare_exchange_strong(empty, path)) {
        slot_ = &slot;
        break;
      }
    }
  }
  ~TemporaryFileRecord() {
    if (slot_) slot_->store(nullptr);
  }
  TemporaryFileRecord(const TemporaryFileRecord&) = delete;
  TemporaryFileRecord& operator=(const TemporaryFileRecord&) = delete;

  template <typename Remove>
  static void RemoveAll(Remove remove) {
    for (auto& slot : slots_) {
      if (const char* path = slot.load()) remove(path);
    }
  }

 private:
  static inline std::atomic<const char*> slots_[kSlots] = {};
  std::atomic<const char*>* slot_ = nullptr;
};
