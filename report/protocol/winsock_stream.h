// TCP report stream over Windows Sockets 2, for the DLL.
#pragma once
#include <cstdint>

#include "report/protocol/read_ahead.h"
#include "report/protocol/report_stream.h"

namespace vnscope {

// Starts the sockets library (version 2.0) at every connect and releases it
// at every close, so that nothing of it outlives one exchange. The socket
// reports its network events to an event object and never blocks: every
// connect, send and receive that cannot go on at once waits on that event,
// which is where the time-outs apply, and where a stop request ends the wait.
// Sends go out in pieces of at most limits::kMaxSendChunk, and receives read
// ahead through a block of limits::kReadAheadBytes.
class WinsockStream final : public ReportStream {
 public:
  // `stop`, when given, is an event (a HANDLE) whose signal fails every wait
  // at once: a thread that must end soon abandons its exchange.
  explicit WinsockStream(StreamTimeouts timeouts = {}, void* stop = nullptr);
  ~WinsockStream() override;
  WinsockStream(const WinsockStream&) = delete;
  WinsockStream& operator=(const WinsockStream&) = delete;

  bool Connect(const std::string& address, uint16_t port) override;
  int32_t Send(const uint8_t* bytes, uint32_t length) override;
  int32_t Receive(uint8_t* buffer, uint32_t length) override;
  std::span<const uint8_t> Held() const override { return read_ahead_.Held(); }
  void Consume(size_t count) override { read_ahead_.Consume(count); }
  void ShutdownSend() override;
  void ShutdownReceive() override;
  void Close() override;

 private:
  // Connects the fresh socket, waiting at most the connect time-out.
  bool ConnectWithTimeout(uint32_t host, uint16_t port);
  // Waits until the socket reports a network event, at most until `deadline`
  // (GetTickCount64); false after it, on a stop request or an error. The
  // events it reports are taken and stored in `events`.
  bool WaitForEvents(unsigned long long deadline, const char* what, long* events, int* connectError);
  // Runs `call` (a send or a receive) until it does not fail with "would
  // block", waiting for the socket's events in between, at most `timeoutMs`
  // in all: its count, or -1.
  template <typename Call>
  int32_t UntilDone(Call&& call, uint32_t timeoutMs, const char* what);

  StreamTimeouts timeouts_;
  void* stop_;
  // A SOCKET, kept as its underlying type so that this header needs no
  // <winsock2.h> (which must precede <windows.h> wherever it is included).
  uintptr_t socket_;
  void* network_event_ = nullptr;  // a WSAEVENT while connected
  bool library_started_ = false;
  ReadAhead read_ahead_;
};

}  // namespace vnscope
