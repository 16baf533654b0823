// A stream that passes at most a few bytes per call to the stream it wraps,
// and counts the sends that moved fewer bytes than asked for.
#pragma once
#include <algorithm>
#include <cstdint>

#include "report/protocol/report_stream.h"

namespace vnscope::test_support {

class ThrottledStream final : public ReportStream {
 public:
  ThrottledStream(ReportStream& inner, uint32_t max_send, uint32_t max_receive)
      : inner_(inner), max_send_(max_send), max_receive_(max_receive) {}

  bool Connect(const std::string& address, uint16_t port) override {
    return inner_.Connect(address, port);
  }
  int32_t Send(const uint8_t* bytes, uint32_t length) override {
    const int32_t sent = inner_.Send(bytes, std::min(length, max_send_));
    if (sent >= 0 && static_cast<uint32_t>(sent) < length) ++partial_sends_;
    return sent;
  }
  int32_t Receive(uint8_t* buffer, uint32_t length) override {
    return inner_.Receive(buffer, std::min(length, max_receive_));
  }
  void ShutdownSend() override { inner_.ShutdownSend(); }
  void ShutdownReceive() override { inner_.ShutdownReceive(); }
  void Close() override { inner_.Close(); }

  int partial_sends() const { return partial_sends_; }

 private:
  ReportStream& inner_;
  uint32_t max_send_;
  uint32_t max_receive_;
  int partial_sends_ = 0;
};

}  // namespace vnscope::test_support
