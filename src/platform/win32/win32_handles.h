// Owners for the Windows handles and COM interfaces of the platform layer.
#pragma once

#include <windows.h>

#include <utility>

namespace tavik {

// A kernel handle from CreateFileW, closed when the owner goes away.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (valid()) ::CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// A COM interface pointer released when the owner goes away.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  // For the out parameter of CoCreateInstance and QueryInterface.
  void** out() { return reinterpret_cast<void**>(&pointer_); }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace tavik
