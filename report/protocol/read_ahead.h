// The bytes a socket stream received beyond what its reader asked for, so
// that the many small reads of the framing (a code byte, four length bytes,
// a short payload) cost one system call for hundreds of messages.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "report/protocol/limits.h"

namespace vnscope {

class ReadAhead {
 public:
  ReadAhead() = default;
  ~ReadAhead() { std::free(block_); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Up to `length` bytes into `out`: the bytes held first; with none held, one
  // call of `receive_some(buffer, size)` (the socket's receive: the count, 0
  // when the peer closed, -1 on an error), which fills the block when the
  // reader wants less than a block and `out` itself otherwise, so that a large
  // payload is not copied twice. Its 0 or -1 is passed on. Without memory for
  // the block every read goes straight to the socket.
  template <typename ReceiveSome>
  int32_t Read(uint8_t* out, uint32_t length, ReceiveSome&& receive_some) {
    if (length == 0) return 0;
    if (next_ == end_) {
      if (length >= limits::kReadAheadBytes || !HaveBlock()) return receive_some(out, length);
      const int32_t received = receive_some(block_, limits::kReadAheadBytes);
      if (received <= 0) return received;
      next_ = 0;
      end_ = static_cast<uint32_t>(received);
    }
    const uint32_t count = std::min(length, end_ - next_);
    std::memcpy(out, block_ + next_, count);
    next_ += count;
    return static_cast<int32_t>(count);
  }

  // The bytes received and not yet read, and the reader's taking of some of
  // them after it looked at them in place.
  std::span<const uint8_t> Held() const { return {block_ + next_, end_ - next_}; }
  void Consume(size_t count) { next_ += static_cast<uint32_t>(std::min<size_t>(count, end_ - next_)); }

  // Forgets what is held, as a new connection must; the block stays for it.
  void Discard() { next_ = end_ = 0; }

 private:
  bool HaveBlock() {
    if (block_ == nullptr) block_ = static_cast<uint8_t*>(std::malloc(limits::kReadAheadBytes));
    return block_ != nullptr;
  }

  uint8_t* block_ = nullptr;
  uint32_t next_ = 0;
  uint32_t end_ = 0;
};

}  // namespace vnscope
