#include "report/protocol/winsock_stream.h"

#include <winsock2.h>

#include <algorithm>
#include <climits>

#include "report/protocol/limits.h"

namespace vnscope {
namespace {

std::string Describe(const char* call, int error) {
  return std::string(call) + ": Winsock error " + std::to_string(error);
}

}  // namespace

WinsockStream::WinsockStream(StreamTimeouts timeouts)
    : timeouts_(timeouts), socket_(INVALID_SOCKET) {}

WinsockStream::~WinsockStream() { Close(); }

bool WinsockStream::Connect(const std::string& address, uint16_t port) {
  if (library_started_) return Fail("connect: already connected");
  WSADATA data;
  const int started = WSAStartup(MAKEWORD(2, 0), &data);
  if (started != 0) return Fail(Describe("WSAStartup", started));
  library_started_ = true;

  socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket_ == INVALID_SOCKET) {
    const int error = WSAGetLastError();
    Close();
    return Fail(Describe("socket", error));
  }
  // inet_addr's error value is also the valid broadcast address, so all ones
  // is only believed when the text says so.
  const unsigned long host = inet_addr(address.c_str());
  if (host == INADDR_NONE && address != "255.255.255.255") {
    Close();
    return Fail("inet_addr: not a dotted IPv4 address: " + address);
  }
  if (!ConnectWithTimeout(host, port)) {
    Close();
    return false;
  }
  // Back to blocking for the exchange; the socket options bound every wait.
  // No Nagle: a large message goes out as its header and then its payload in
  // separate sends, and the payload would otherwise wait for the server's
  // delayed acknowledgement of the header (40 to 200 ms a message).
  u_long blocking = 0;
  const BOOL no_delay = TRUE;
  const DWORD receive_ms = timeouts_.receiveMs;
  const DWORD send_ms = timeouts_.sendMs;
  if (ioctlsocket(socket_, FIONBIO, &blocking) != 0 ||
      setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receive_ms),
                 sizeof receive_ms) != 0 ||
      setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&send_ms),
                 sizeof send_ms) != 0 ||
      setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay),
                 sizeof no_delay) != 0) {
    const int error = WSAGetLastError();
    Close();
    return Fail(Describe("setsockopt", error));
  }
  return true;
}

bool WinsockStream::ConnectWithTimeout(uint32_t host, uint16_t port) {
  u_long non_blocking = 1;
  if (ioctlsocket(socket_, FIONBIO, &non_blocking) != 0) {
    return Fail(Describe("ioctlsocket", WSAGetLastError()));
  }
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = host;
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return true;
  const int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK) return Fail(Describe("connect", error));

  // A refused connect shows in the exception set, a successful one in the
  // write set; neither before the time-out means no server is there.
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket_, &writable);
  FD_SET(socket_, &failed);
  timeval timeout{};
  timeout.tv_sec = static_cast<long>(timeouts_.connectMs / 1000);
  timeout.tv_usec = static_cast<long>(timeouts_.connectMs % 1000) * 1000;
  const int ready = select(0, nullptr, &writable, &failed, &timeout);
  if (ready == 0) return Fail("connect: timed out");
  if (ready == SOCKET_ERROR) return Fail(Describe("select", WSAGetLastError()));
  if (FD_ISSET(socket_, &failed) || !FD_ISSET(socket_, &writable)) {
    int socket_error = 0;
    int size = sizeof socket_error;
    getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socket_error), &size);
    return Fail(Describe("connect", socket_error));
  }
  return true;
}

int32_t WinsockStream::Send(const uint8_t* bytes, uint32_t length) {
  if (socket_ == INVALID_SOCKET) return -1;
  // The send time-out bounds one blocking send as a whole: a piece at a time,
  // it bounds the wait for room, however long the package takes.
  const int chunk = static_cast<int>(std::min(length, limits::kMaxSendChunk));
  const int sent = send(socket_, reinterpret_cast<const char*>(bytes), chunk, 0);
  if (sent == SOCKET_ERROR) {
    Fail(Describe("send", WSAGetLastError()));
    return -1;
  }
  return sent;
}

int32_t WinsockStream::Receive(uint8_t* buffer, uint32_t length) {
  if (socket_ == INVALID_SOCKET) return -1;
  return read_ahead_.Read(buffer, length, [this](uint8_t* into, uint32_t size) -> int32_t {
    const int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    const int received = recv(socket_, reinterpret_cast<char*>(into), chunk, 0);
    if (received == SOCKET_ERROR) {
      // WSAETIMEDOUT after SO_RCVTIMEO: the peer stayed silent too long.
      Fail(Describe("recv", WSAGetLastError()));
      return -1;
    }
    return received;
  });
}

void WinsockStream::ShutdownSend() {
  if (socket_ != INVALID_SOCKET) shutdown(socket_, SD_SEND);
}

void WinsockStream::ShutdownReceive() {
  if (socket_ != INVALID_SOCKET) shutdown(socket_, SD_RECEIVE);
}

void WinsockStream::Close() {
  read_ahead_.Discard();
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  socket_ = INVALID_SOCKET;
  if (library_started_) WSACleanup();
  library_started_ = false;
}

}  // namespace vnscope
