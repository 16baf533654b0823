#include "report/protocol/winsock_stream.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <climits>

#include "report/protocol/limits.h"

namespace vnscope {
namespace {

std::string Describe(const char* call, int error) {
  return std::string(call) + ": Winsock error " + std::to_string(error);
}

ULONGLONG DeadlineAfter(uint32_t milliseconds) { return GetTickCount64() + milliseconds; }

}  // namespace

WinsockStream::WinsockStream(StreamTimeouts timeouts, void* stop)
    : timeouts_(timeouts), stop_(stop), socket_(INVALID_SOCKET) {}

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
  // No Nagle: a large message goes out as its header and then its payload in
  // separate sends, and the payload would otherwise wait for the server's
  // delayed acknowledgement of the header (40 to 200 ms a message).
  const BOOL no_delay = TRUE;
  if (setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay),
                 sizeof no_delay) != 0) {
    const int error = WSAGetLastError();
    Close();
    return Fail(Describe("setsockopt", error));
  }
  return true;
}

bool WinsockStream::ConnectWithTimeout(uint32_t host, uint16_t port) {
  // Event selection makes the socket non-blocking; it must come before the
  // connect, whose outcome is one of its events.
  network_event_ = WSACreateEvent();
  if (network_event_ == WSA_INVALID_EVENT) {
    network_event_ = nullptr;
    return Fail(Describe("WSACreateEvent", WSAGetLastError()));
  }
  if (WSAEventSelect(socket_, network_event_, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
    return Fail(Describe("WSAEventSelect", WSAGetLastError()));
  }
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = host;
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return true;
  const int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK) return Fail(Describe("connect", error));

  // Refused or reached, the connect reports itself, with its error code.
  const ULONGLONG deadline = DeadlineAfter(timeouts_.connectMs);
  for (;;) {
    long events = 0;
    int connect_error = 0;
    if (!WaitForEvents(deadline, "connect", &events, &connect_error)) return false;
    if ((events & FD_CONNECT) == 0) continue;
    if (connect_error != 0) return Fail(Describe("connect", connect_error));
    return true;
  }
}

bool WinsockStream::WaitForEvents(unsigned long long deadline, const char* what, long* events,
                                  int* connectError) {
  const HANDLE waits[] = {network_event_, stop_};
  const ULONGLONG now = GetTickCount64();
  const DWORD timeout = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
  switch (WaitForMultipleObjects(stop_ ? 2 : 1, waits, FALSE, timeout)) {
    case WAIT_OBJECT_0:
      break;
    case WAIT_OBJECT_0 + 1:
      return Fail(std::string(what) + ": stopped");
    case WAIT_TIMEOUT:
      return Fail(std::string(what) + ": timed out");
    default:
      return Fail(std::string(what) + ": wait failed, error " + std::to_string(GetLastError()));
  }
  // Takes the events and resets the event object; the next call that would
  // block records its event again.
  WSANETWORKEVENTS taken{};
  if (WSAEnumNetworkEvents(socket_, network_event_, &taken) != 0) {
    return Fail(Describe("WSAEnumNetworkEvents", WSAGetLastError()));
  }
  *events = taken.lNetworkEvents;
  *connectError = taken.iErrorCode[FD_CONNECT_BIT];
  return true;
}

template <typename Call>
int32_t WinsockStream::UntilDone(Call&& call, uint32_t timeoutMs, const char* what) {
  if (socket_ == INVALID_SOCKET) return -1;
  const ULONGLONG deadline = DeadlineAfter(timeoutMs);
  for (;;) {
    const int done = call();
    if (done != SOCKET_ERROR) return done;
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      Fail(Describe(what, error));
      return -1;
    }
    // A call that would block records its event (FD_WRITE for room to send,
    // FD_READ or FD_CLOSE for something to receive), which ends the wait.
    long events = 0;
    int ignored = 0;
    if (!WaitForEvents(deadline, what, &events, &ignored)) return -1;
  }
}

int32_t WinsockStream::Send(const uint8_t* bytes, uint32_t length) {
  const int chunk = static_cast<int>(std::min(length, limits::kMaxSendChunk));
  return UntilDone([&] { return send(socket_, reinterpret_cast<const char*>(bytes), chunk, 0); }, timeouts_.sendMs,
                   "send");
}

int32_t WinsockStream::Receive(uint8_t* buffer, uint32_t length) {
  return read_ahead_.Read(buffer, length, [this](uint8_t* into, uint32_t size) -> int32_t {
    const int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    return UntilDone([&] { return recv(socket_, reinterpret_cast<char*>(into), chunk, 0); }, timeouts_.receiveMs,
                     "recv");
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
  if (network_event_) WSACloseEvent(network_event_);
  network_event_ = nullptr;
  if (library_started_) WSACleanup();
  library_started_ = false;
}

}  // namespace vnscope
