// The connected byte stream the report client talks through: a TCP socket on
// either platform, or anything a test puts in its place.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "report/protocol/limits.h"

namespace vnscope {

// How long a socket stream waits before giving up on a silent peer. The
// defaults are the library's limits; tests shorten them.
struct StreamTimeouts {
  uint32_t connectMs = limits::kConnectTimeoutMs;
  uint32_t receiveMs = limits::kReceiveTimeoutMs;
  uint32_t sendMs = limits::kSendTimeoutMs;
};

class ReportStream {
 public:
  virtual ~ReportStream() = default;

  // Connects to a dotted IPv4 address ("255.255.255.255" is the only text
  // that may convert to all ones) and a TCP port. False, with nothing left
  // open, when any step fails or the connect time-out passes; false as well
  // when the stream is already connected.
  virtual bool Connect(const std::string& address, uint16_t port) = 0;
  // Sends some of the bytes, waiting for room up to the send time-out. The
  // count that went out, which may be fewer than asked, or -1 on an error or
  // time-out.
  virtual int32_t Send(const uint8_t* bytes, uint32_t length) = 0;
  // Receives up to `length` bytes once they arrive: the count, 0 when the
  // peer has closed its side, -1 on an error or after the receive time-out.
  virtual int32_t Receive(uint8_t* buffer, uint32_t length) = 0;
  virtual void ShutdownSend() = 0;
  virtual void ShutdownReceive() = 0;
  // Closes the connection; the stream may connect again afterwards.
  virtual void Close() = 0;

  // The bytes a stream received ahead of its reader and not yet read: the
  // framing takes a message lying whole among them in place, without a copy
  // or a call per field. A stream without such bytes shows none.
  virtual std::span<const uint8_t> Held() const { return {}; }
  // Takes `count` of the held bytes as read.
  virtual void Consume(size_t /*count*/) {}

  // The system call that failed last, with its error number, for diagnostics.
  const std::string& LastFailure() const { return last_failure_; }

 protected:
  // Records which call failed; returns false so that failure paths read
  // `return Fail(...)`.
  bool Fail(std::string what) {
    last_failure_ = std::move(what);
    return false;
  }

 private:
  std::string last_failure_;
};

}  // namespace vnscope
