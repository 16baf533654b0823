// Socket plumbing for the server: an owning descriptor, reads and writes on
// non-blocking sockets that give up after a silence, and the listening socket.
#pragma once
#include <sys/socket.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace vnscope::server {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset();
  // Gives up ownership, for a caller that must see close's result.
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

enum class IoStatus {
  kOk,
  kClosed,    // the peer closed its sending side
  kTimedOut,  // nothing moved for the whole time-out
  kStopped,   // the stop descriptor became readable
  kFailed,    // a socket error (reset, ...)
};

const char* IoStatusName(IoStatus status);

// Reads exactly `size` bytes into `data` from a non-blocking socket, waiting
// at most `idle_ms` for each chunk. With `stop_fd` >= 0 the wait also ends when
// that descriptor becomes readable. `*done` tells how many bytes arrived.
IoStatus ReadFull(int fd, uint8_t* data, size_t size, int idle_ms, int stop_fd, size_t* done);

// Like ReadFull, but returns once at least one byte of up to `size` arrived;
// `*got` tells how many.
IoStatus ReadSome(int fd, uint8_t* data, size_t size, int idle_ms, int stop_fd, size_t* got);

// Writes every byte of `parts` to a non-blocking socket, waiting at most
// `idle_ms` each time the client's window is full.
IoStatus WriteFull(int fd, std::span<const iovec> parts, int idle_ms);

// Ends our sending side, then reads and drops what the client still sends
// until it closes its side or `linger_ms` has passed, so that the close does
// not turn into a reset that could destroy the last replies in flight.
void ShutdownAndDrain(int fd, int linger_ms);

// Parses "ADDR:PORT" ("[ADDR]:PORT" for IPv6), binds and listens. On success
// `bound` holds the address actually bound (the port chosen when PORT is 0).
UniqueFd ListenOn(const std::string& address, std::string* bound, std::string* error);

// "ADDR:PORT" of a socket address, for the log.
std::string AddressText(const sockaddr_storage& address);

}  // namespace vnscope::server
