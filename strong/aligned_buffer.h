// An owned, zeroed, 64-byte aligned array: the strong filter's planes and
// scratch. Given back when its owner goes, moved but never copied, so no way
// out of a function can leak it or give it back twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

template <typename T>
class aligned_buffer {
  static_assert(std::is_trivial<T>::value, "plain samples only: zeroed, never constructed");

 public:
  static constexpr size_t alignment = 64;

  aligned_buffer() = default;
  aligned_buffer(const aligned_buffer&) = delete;
  aligned_buffer& operator=(const aligned_buffer&) = delete;
  aligned_buffer(aligned_buffer&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  aligned_buffer& operator=(aligned_buffer&& other) noexcept {
    if (this != &other) {
      release();
      data_ = other.data_;
      size_ = other.size_;
      other.data_ = nullptr;
      other.size_ = 0;
    }
    return *this;
  }
  ~aligned_buffer() { release(); }

  // Replaces the contents by n zeroed values. False, and empty, when the
  // memory cannot be had (or n values would not fit in the address space).
  bool allocate(size_t n) {
    release();
    if (n == 0) return true;
    if (n > SIZE_MAX / sizeof(T) - alignment) return false;
    void* p = ::operator new(n * sizeof(T), std::align_val_t(alignment), std::nothrow);
    if (!p) return false;
    std::memset(p, 0, n * sizeof(T));
    data_ = static_cast<T*>(p);
    size_ = n;
    return true;
  }
  void release() {
    if (data_) ::operator delete(data_, std::align_val_t(alignment));
    data_ = nullptr;
    size_ = 0;
  }

  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
};
