// A one-connection report server on loopback for the send tests: it takes one
// submission, keeps its package and answers with a chosen reply code.
#pragma once
#include <cstdint>
#include <thread>
#include <vector>

#include "harness/loopback.h"

namespace vnscope::test {

class CaptureServer {
 public:
  // Listens on 127.0.0.1 at a free port.
  explicit CaptureServer(uint8_t replyCode);
  ~CaptureServer();
  CaptureServer(const CaptureServer&) = delete;
  CaptureServer& operator=(const CaptureServer&) = delete;

  uint16_t port() const { return port_; }
  // Waits for the exchange to end; the submitted package (empty if none came).
  const std::vector<uint8_t>& Package();

 private:
  void Serve();

  WinsockUser winsock_;  // first in, last out: the server's thread uses it
  uint8_t reply_code_;
  uintptr_t listener_;
  uint16_t port_ = 0;
  std::vector<uint8_t> package_;
  std::thread thread_;
};

// The entries of a stored ZIP archive, read from its local headers in order.
struct ZipEntry {
  std::string name;
  std::vector<uint8_t> data;
};
std::vector<ZipEntry> ReadStoredZip(const std::vector<uint8_t>& archive);

}  // namespace vnscope::test
