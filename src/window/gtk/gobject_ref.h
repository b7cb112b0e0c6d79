#pragma once
// Owning references to GObjects (pixbufs, loaders, main loops) so that
// every unref happens in one place.

#include <glib-object.h>

#include <utility>

template <typename T>
class GObjectRef {
 public:
  GObjectRef() = default;
  // Takes over a reference the caller owns (a "transfer full" result).
  explicit GObjectRef(T* owned) : object_(owned) {}
  GObjectRef(const GObjectRef& other) : object_(other.object_) {
    if (object_) g_object_ref(object_);
  }
  GObjectRef(GObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectRef& operator=(GObjectRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~GObjectRef() {
    if (object_) g_object_unref(object_);
  }

  // Adds a reference to an object someone else owns.
  static GObjectRef Share(T* borrowed) {
    if (borrowed) g_object_ref(borrowed);
    return GObjectRef(borrowed);
  }

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};
