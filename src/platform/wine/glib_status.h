#pragma once
#include <glib.h>

#include <string>

#include "platform/status.h"

// What the Wine backend needs around GLib-based libraries (libmsi, libgcab): their GError values
// become our status codes in exactly one place, and their warnings never end the process.
namespace platform::wine {

// Routes GLib's log messages (libmsi's and libgcab's g_warning, g_critical and the failed
// g_return_if_fail checks) into the error log and makes sure none of them aborts the process,
// whatever G_DEBUG says. Idempotent and thread-safe; every libmsi or libgcab user calls it first.
void PrepareGLib();

// The Win32 status for a GError. `fallback` is returned when there is no error object (libmsi
// fails some calls, e.g. opening a file that is not a package, without setting one) or when its
// code has no closer meaning.
Status StatusFromGError(const GError* error, Status fallback);

// "message (domain code N)" for the logs; `fallback` when there is no error object.
std::string GErrorText(const GError* error, const char* fallback);

// Owns a GError* and frees it once.
class ScopedGError {
 public:
  ScopedGError() = default;
  ~ScopedGError() { Clear(); }
  ScopedGError(const ScopedGError&) = delete;
  ScopedGError& operator=(const ScopedGError&) = delete;

  GError** out() {
    Clear();
    return &error_;
  }
  const GError* get() const { return error_; }
  void Clear() {
    if (error_ != nullptr) g_error_free(error_);
    error_ = nullptr;
  }

 private:
  GError* error_ = nullptr;
};

// Owns one reference of a GObject-derived pointer and drops it exactly once.
template <typename T>
class GObjectRef {
 public:
  GObjectRef() = default;
  explicit GObjectRef(T* object) : object_(object) {}
  ~GObjectRef() { reset(); }
  GObjectRef(const GObjectRef&) = delete;
  GObjectRef& operator=(const GObjectRef&) = delete;
  GObjectRef(GObjectRef&& other) noexcept : object_(other.release()) {}
  GObjectRef& operator=(GObjectRef&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  T* release() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  void reset(T* object = nullptr) {
    if (object_ != nullptr) g_object_unref(object_);
    object_ = object;
  }

 private:
  T* object_ = nullptr;
};

}  // namespace platform::wine
