// An in-memory stream that logs every call the client makes and answers with
// scripted results, for checking the order of a close step by step.
#pragma once
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "report/protocol/report_stream.h"

namespace vnscope::test_support {

class RecordingStream final : public ReportStream {
 public:
  // Results for successive Send calls; once used up, every byte is taken.
  std::deque<int32_t> send_results;
  // Blocks for successive Receive calls; once used up, Receive returns
  // `receive_end` (0: the peer closed, -1: an error).
  std::deque<std::vector<uint8_t>> receive_blocks;
  int32_t receive_end = 0;
  std::vector<std::string> log;
  std::vector<uint8_t> sent;

  bool Connect(const std::string&, uint16_t) override {
    log.push_back("connect");
    return true;
  }
  int32_t Send(const uint8_t* bytes, uint32_t length) override {
    log.push_back("send " + std::to_string(length));
    int32_t result = static_cast<int32_t>(length);
    if (!send_results.empty()) {
      result = send_results.front();
      send_results.pop_front();
    }
    if (result > 0) sent.insert(sent.end(), bytes, bytes + result);
    return result;
  }
  int32_t Receive(uint8_t* buffer, uint32_t length) override {
    log.push_back("receive " + std::to_string(length));
    if (receive_blocks.empty()) return receive_end;
    std::vector<uint8_t>& block = receive_blocks.front();
    const uint32_t count = std::min<uint32_t>(length, static_cast<uint32_t>(block.size()));
    std::memcpy(buffer, block.data(), count);
    block.erase(block.begin(), block.begin() + count);
    if (block.empty()) receive_blocks.pop_front();
    return static_cast<int32_t>(count);
  }
  void ShutdownSend() override { log.push_back("shutdown send"); }
  void ShutdownReceive() override { log.push_back("shutdown receive"); }
  void Close() override { log.push_back("close"); }
};

}  // namespace vnscope::test_support
