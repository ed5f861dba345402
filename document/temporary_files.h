#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The system's own form of a file name: UTF-16 on Windows, bytes elsewhere.
#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
using NativePath = std::basic_string<NativeChar>;

// The temporary files of writes under way, kept where a signal handler can reach them without
// locks or allocation.
class TemporaryFileRecord {
 public:
  static constexpr int kSlots = 256;

  // Records `path`, which must outlive the record, and the handle the file is open with (-1
  // for none). When every slot is taken the file is simply not recorded.
  TemporaryFileRecord(const NativeChar* path, intptr_t handle) : path_(path), handle_(handle) {
    for (auto& slot : slots_) {
      TemporaryFileRecord* empty = nullptr;
      if (slot.compare_exchange_strong(empty, this)) {
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

  // The handle, taken out of the record: whoever takes it closes it, once.
  intptr_t TakeHandle() { return handle_.exchange(-1); }

  // Calls remove(path, handle) for every recorded file; the handle is taken from its record.
  template <typename Remove>
  static void RemoveAll(Remove remove) {
    for (auto& slot : slots_) {
      if (TemporaryFileRecord* record = slot.load()) remove(record->path_, record->TakeHandle());
    }
  }

 private:
  static inline std::atomic<TemporaryFileRecord*> slots_[kSlots] = {};
  std::atomic<TemporaryFileRecord*>* slot_ = nullptr;
  const NativeChar* path_;
  std::atomic<intptr_t> handle_;
};
