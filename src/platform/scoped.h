// Move-only owners of the resources the launcher gets from the platform.
// Each releases through the platform that handed the resource out.
#ifndef CAMSETUP_PLATFORM_SCOPED_H_
#define CAMSETUP_PLATFORM_SCOPED_H_

#include <cstddef>
#include <utility>

#include "platform/platform.h"

namespace camsetup {

// Owns one resource described by Traits:
//   using Value = ...;
//   static Value Null();
//   static bool IsValid(const Value&);
//   static bool Close(Platform&, const Value&);   // the platform's result
template <typename Traits>
class ScopedResource {
 public:
  using Value = typename Traits::Value;

  ScopedResource() = default;
  ScopedResource(Platform* platform, Value value) : platform_(platform), value_(value) {}
  ~ScopedResource() { Close(); }

  ScopedResource(ScopedResource&& other) noexcept
      : platform_(other.platform_), value_(other.Release()) {}
  ScopedResource& operator=(ScopedResource&& other) noexcept {
    if (this != &other) {
      Close();
      platform_ = other.platform_;
      value_ = other.Release();
    }
    return *this;
  }
  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;

  bool IsValid() const { return Traits::IsValid(value_); }
  const Value& get() const { return value_; }

  // Releases the resource now. Returns the platform's result, or true when
  // there was nothing to release.
  bool Close() {
    if (!IsValid()) return true;
    Value value = Release();
    return Traits::Close(*platform_, value);
  }

  // Gives up ownership without releasing.
  Value Release() { return std::exchange(value_, Traits::Null()); }

 private:
  Platform* platform_ = nullptr;
  Value value_ = Traits::Null();
};

struct KernelHandleTraits {
  using Value = Handle;
  static Value Null() { return nullptr; }
  static bool IsValid(const Value& v) { return v != nullptr && v != InvalidHandleValue(); }
  static bool Close(Platform& p, const Value& v) { return p.CloseHandle(v); }
};

struct DevInfoListTraits {
  using Value = DevInfoHandle;
  static Value Null() { return InvalidHandleValue(); }
  static bool IsValid(const Value& v) { return v != InvalidHandleValue(); }
  static bool Close(Platform& p, const Value& v) { return p.SetupDiDestroyDeviceInfoList(v); }
};

struct EventSourceTraits {
  using Value = Handle;
  static Value Null() { return nullptr; }
  static bool IsValid(const Value& v) { return v != nullptr; }
  static bool Close(Platform& p, const Value& v) { return p.DeregisterEventSource(v); }
};

struct HeapBlockValue {
  void* data;
  std::size_t size;
};

struct HeapBlockTraits {
  using Value = HeapBlockValue;
  static Value Null() { return {nullptr, 0}; }
  static bool IsValid(const Value& v) { return v.data != nullptr; }
  static bool Close(Platform& p, const Value& v) {
    p.HeapFree(v.data);
    return true;
  }
};

using ScopedKernelHandle = ScopedResource<KernelHandleTraits>;
using ScopedDevInfoList = ScopedResource<DevInfoListTraits>;
using ScopedHeapBlock = ScopedResource<HeapBlockTraits>;
using ScopedEventSource = ScopedResource<EventSourceTraits>;

}  // namespace camsetup

#endif  // CAMSETUP_PLATFORM_SCOPED_H_
