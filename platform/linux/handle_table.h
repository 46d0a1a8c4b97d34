// Every handle the Linux layer gives out is a number looked up in the table
// of its kind before use. A handle that was never given out, was closed or
// deleted already, or is of another kind finds nothing, so the call refuses
// it with Win32's failure result instead of touching freed memory. Numbers
// are never given out twice; the low bits tell the kind.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

enum class HandleKind : uintptr_t { kFile = 1, kDc, kBrush, kIcon, kPalette, kMenu, kWindow };

template <typename T>
class HandleTable {
 public:
  explicit HandleTable(HandleKind kind) : kind_(static_cast<uintptr_t>(kind)) {}

  template <typename Handle>
  Handle add(std::unique_ptr<T> object) {
    std::lock_guard lock(mutex_);
    uintptr_t value = next_++ << kKindBits | kind_;
    objects_.emplace(value, std::move(object));
    return reinterpret_cast<Handle>(value);
  }
  // The object behind the handle, or nullptr.
  T* find(const void* handle) const {
    std::lock_guard lock(mutex_);
    auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
    return found != objects_.end() ? found->second.get() : nullptr;
  }
  // Calls use(handle, object) for each object, under the table's lock.
  template <typename Handle, typename Use>
  void forEach(Use use) const {
    std::lock_guard lock(mutex_);
    for (const auto& [value, object] : objects_) use(reinterpret_cast<Handle>(value), *object);
  }
  // Takes the object out of the table; nullptr when the handle is not in it.
  std::unique_ptr<T> remove(const void* handle) {
    std::lock_guard lock(mutex_);
    auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == objects_.end()) return nullptr;
    std::unique_ptr<T> object = std::move(found->second);
    objects_.erase(found);
    return object;
  }

 private:
  static constexpr int kKindBits = 4;
  const uintptr_t kind_;
  mutable std::mutex mutex_;
  std::map<uintptr_t, std::unique_ptr<T>> objects_;
  // Above the small numbers that stand for other things (system colours as
  // brushes, COLOR_* + 1).
  uintptr_t next_ = 0x100;
};

// The table of a kind of handle, made on first use and never destroyed:
// handles may still be closed while static objects are destroyed at exit.
template <typename T, HandleKind kind>
HandleTable<T>& handleTable() {
  static auto* table = new HandleTable<T>(kind);
  return *table;
}
