#include "report/dialog/capture_server.h"

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "harness/loopback.h"

namespace vnscope::test {
namespace {

constexpr DWORD kWaitMs = 20000;

bool ReceiveAll(SOCKET socket, uint8_t* bytes, size_t length) {
  while (length > 0) {
    const int got = recv(socket, reinterpret_cast<char*>(bytes), static_cast<int>(length), 0);
    if (got <= 0) return false;
    bytes += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}

uint32_t U32(const uint8_t* bytes) { return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t{bytes[3]} << 24; }
uint16_t U16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

}  // namespace

CaptureServer::CaptureServer(uint8_t replyCode) : reply_code_(replyCode) {
  listener_ = ListenOnLoopback(&port_);
  thread_ = std::thread([this] { Serve(); });
}

CaptureServer::~CaptureServer() { Package(); }

const std::vector<uint8_t>& CaptureServer::Package() {
  if (thread_.joinable()) thread_.join();
  return package_;
}

void CaptureServer::Serve() {
  SOCKET listener = static_cast<SOCKET>(listener_);
  if (listener == INVALID_SOCKET) return;
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(listener, &ready);
  timeval wait{kWaitMs / 1000, 0};
  SOCKET client = select(0, &ready, nullptr, nullptr, &wait) == 1 ? accept(listener, nullptr, nullptr) : INVALID_SOCKET;
  closesocket(listener);
  if (client == INVALID_SOCKET) return;
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&kWaitMs), sizeof(kWaitMs));
  uint8_t header[5];
  if (ReceiveAll(client, header, 5) && header[0] == 1) {
    std::vector<uint8_t> package(U32(header + 1));
    if (ReceiveAll(client, package.data(), package.size())) package_ = std::move(package);
    const uint8_t reply[5] = {reply_code_, 0, 0, 0, 0};
    send(client, reinterpret_cast<const char*>(reply), 5, 0);
  }
  // The client ends with EndExchange and shuts its side down.
  uint8_t rest[256];
  while (recv(client, reinterpret_cast<char*>(rest), sizeof(rest), 0) > 0) {
  }
  closesocket(client);
}

std::vector<ZipEntry> ReadStoredZip(const std::vector<uint8_t>& archive) {
  std::vector<ZipEntry> entries;
  size_t at = 0;
  while (at + 30 <= archive.size() && U32(&archive[at]) == 0x04034B50u) {
    const uint32_t size = U32(&archive[at + 18]);
    const uint16_t nameLength = U16(&archive[at + 26]);
    const uint16_t extraLength = U16(&archive[at + 28]);
    const size_t data = at + 30 + nameLength + extraLength;
    if (data + size > archive.size()) break;
    entries.push_back({std::string(archive.begin() + at + 30, archive.begin() + at + 30 + nameLength),
                       std::vector<uint8_t>(archive.begin() + data, archive.begin() + data + size)});
    at = data + size;
  }
  return entries;
}

}  // namespace vnscope::test
