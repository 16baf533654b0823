// TCP report stream over BSD sockets, for the native build (the report
// server's tests and the client's own tests run against it).
#pragma once
#include "report/protocol/read_ahead.h"
#include "report/protocol/report_stream.h"

namespace vnscope {

// The socket stays non-blocking once connected; every send and receive first
// waits with poll for readiness, which is where the time-outs apply. Receives
// read ahead as the Winsock stream's do.
class PosixStream final : public ReportStream {
 public:
  explicit PosixStream(StreamTimeouts timeouts = {});
  ~PosixStream() override;
  PosixStream(const PosixStream&) = delete;
  PosixStream& operator=(const PosixStream&) = delete;

  bool Connect(const std::string& address, uint16_t port) override;
  int32_t Send(const uint8_t* bytes, uint32_t length) override;
  int32_t Receive(uint8_t* buffer, uint32_t length) override;
  std::span<const uint8_t> Held() const override { return read_ahead_.Held(); }
  void Consume(size_t count) override { read_ahead_.Consume(count); }
  void ShutdownSend() override;
  void ShutdownReceive() override;
  void Close() override;

 private:
  // Waits until the socket is ready for `events`; false on time-out or error.
  bool WaitReady(short events, uint32_t timeout_ms, const char* what);

  StreamTimeouts timeouts_;
  int socket_ = -1;
  ReadAhead read_ahead_;
};

}  // namespace vnscope
