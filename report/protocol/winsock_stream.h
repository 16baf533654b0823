// TCP report stream over Windows Sockets 2, for the DLL.
#pragma once
#include <cstdint>

#include "report/protocol/read_ahead.h"
#include "report/protocol/report_stream.h"

namespace vnscope {

// Starts the sockets library (version 2.0) at every connect and releases it
// at every close, so that nothing of it outlives one exchange. Sends go out in
// pieces of at most limits::kMaxSendChunk, and receives read ahead through a
// block of limits::kReadAheadBytes.
class WinsockStream final : public ReportStream {
 public:
  explicit WinsockStream(StreamTimeouts timeouts = {});
  ~WinsockStream() override;
  WinsockStream(const WinsockStream&) = delete;
  WinsockStream& operator=(const WinsockStream&) = delete;

  bool Connect(const std::string& address, uint16_t port) override;
  int32_t Send(const uint8_t* bytes, uint32_t length) override;
  int32_t Receive(uint8_t* buffer, uint32_t length) override;
  void ShutdownSend() override;
  void ShutdownReceive() override;
  void Close() override;

 private:
  // Connects the fresh socket, waiting at most the connect time-out.
  bool ConnectWithTimeout(uint32_t host, uint16_t port);

  StreamTimeouts timeouts_;
  // A SOCKET, kept as its underlying type so that this header needs no
  // <winsock2.h> (which must precede <windows.h> wherever it is included).
  uintptr_t socket_;
  bool library_started_ = false;
  ReadAhead read_ahead_;
};

}  // namespace vnscope
