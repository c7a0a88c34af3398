// The downloader's one chunk buffer: 8193 bytes, replaced by one of n + 1
// bytes whenever more than 8192 bytes are ready at once, so a whole offered
// piece is read in one call and memory stays flat between such pieces.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>

class ChunkBuffer {
 public:
  static constexpr size_t kInitialSize = 8193;

  ChunkBuffer() : data_(new (std::nothrow) char[kInitialSize]), size_(data_ ? kInitialSize : 0) {}

  // Makes room for n bytes and a terminating zero, zero-filled. Returns
  // nullptr when no buffer could be had (the old one is gone by then).
  char* Prepare(size_t n) {
    if (n > kInitialSize - 1) {
      data_.reset();
      data_.reset(new (std::nothrow) char[n + 1]);
      size_ = data_ ? n + 1 : 0;
    }
    if (!data_ || size_ < n + 1) return nullptr;
    std::fill_n(data_.get(), n + 1, '\0');
    return data_.get();
  }

  size_t size() const { return size_; }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_;
};
