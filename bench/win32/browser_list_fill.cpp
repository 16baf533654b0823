// What the report browser costs the engine's user interface thread. For a
// server holding N reports it measures, as medians of many runs:
//   bulk:     the same reply bytes taken by large recv calls, unparsed, over
//             a connection of its own (connect, request, receive, close): what
//             the network alone costs,
//   exchange: the list exchange alone (connect, ListReports, parse, close),
//   refresh:  "更新" until the list shows every report (exchange on the
//             worker, then the table and the list filled on the UI thread),
//   tab:      a tab change, which refills the list on the UI thread,
//   paint:    drawing the shown list's visible rows after a refill (the list
//             asks for their cells only then), so refresh + paint is what a
//             tester waits for on screen,
// and, for the largest list, where the exchange's time goes: the parse alone
// (the reply served from memory) and the client's socket stream alone (the
// reply taken unparsed).
// The exchange should cost at most twice the bulk receive and the whole
// refresh at most five times. The server is an in-process loopback stand-in
// that answers the list request from a prepared reply, so the figures hold
// no disk or SQL time.
#include <winsock2.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "browser/browser_worker.h"
#include "browser/report_browser.h"
#include "report/protocol/report_client.h"
#include "report/protocol/report_framing.h"
#include "report/protocol/report_types.h"
#include "report/protocol/system_ansi_codec.h"
#include "report/protocol/winsock_stream.h"
#include "report/protocol/wire_format.h"
#include "resources/resource.h"
#include "win32/module.h"

namespace {

using namespace vnscope;

void AppendFrame(std::vector<uint8_t>& out, uint8_t code, const std::vector<uint8_t>& payload) {
  const auto header = EncodeFrameHeader(code, static_cast<uint32_t>(payload.size()));
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), payload.begin(), payload.end());
}

// The server's whole answer to ListReports for `count` reports with text.
std::vector<uint8_t> ListReply(int count) {
  std::vector<uint8_t> reply;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "20261207-120000-%06d", i);
    AppendFrame(reply, 2, std::vector<uint8_t>(name, name + std::strlen(name) + 1));
    std::vector<uint8_t> summary;
    AppendUtf16LeString(summary, u"起動直後に立ち絵が欠ける #" + std::u16string(1, u'0' + i % 10));
    AppendUtf16LeString(summary, u"テスター");
    AppendU32Le(summary, 1);
    AppendU32Le(summary, i % 3 == 0 ? 1u : 0u);
    AppendFrame(reply, 3, summary);
  }
  AppendFrame(reply, 0, {});
  return reply;
}

class ListServer {
 public:
  ListServer() {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 8);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ListServer() {
    stopping_ = true;
    closesocket(listener_);
    thread_.join();
  }
  uint16_t port() const { return port_; }
  void SetReply(std::vector<uint8_t> reply) { reply_ = std::move(reply); }

 private:
  // One connection at a time: answer each ListReports, end at EndExchange.
  void Serve() {
    while (!stopping_) {
      const SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      uint8_t header[5];
      while (ReadAll(client, header, 5)) {
        const uint32_t length = ReadU32Le(header + 1);
        std::vector<uint8_t> payload(length);
        if (length > 0 && !ReadAll(client, payload.data(), length)) break;
        if (header[0] == 0) break;
        if (header[0] == 2) send(client, reinterpret_cast<const char*>(reply_.data()), static_cast<int>(reply_.size()), 0);
      }
      shutdown(client, SD_SEND);
      char drain[256];
      while (recv(client, drain, sizeof drain, 0) > 0) {
      }
      closesocket(client);
    }
  }
  static bool ReadAll(SOCKET socket, uint8_t* bytes, uint32_t length) {
    while (length > 0) {
      const int got = recv(socket, reinterpret_cast<char*>(bytes), static_cast<int>(length), 0);
      if (got <= 0) return false;
      bytes += got;
      length -= got;
    }
    return true;
  }

  SOCKET listener_;
  uint16_t port_ = 0;
  std::vector<uint8_t> reply_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// Connects, asks for the list and takes the whole reply in large pieces
// without looking at it, then closes as the client does.
size_t BulkReceive(uint16_t port, size_t replyBytes) {
  const SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const BOOL noDelay = TRUE;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  size_t received = 0;
  if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const auto request = EncodeFrameHeader(static_cast<uint8_t>(ClientCommand::ListReports), 0);
    send(client, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()), 0);
    static char block[64 << 10];
    int got = 0;
    while (received < replyBytes && (got = recv(client, block, sizeof block, 0)) > 0) received += got;
    const auto end = EncodeFrameHeader(static_cast<uint8_t>(ClientCommand::EndExchange), 0);
    send(client, reinterpret_cast<const char*>(end.data()), static_cast<int>(end.size()), 0);
    shutdown(client, SD_SEND);
    while (recv(client, block, sizeof block, 0) > 0) {
    }
  }
  closesocket(client);
  return received;
}

// The reply bytes handed out from memory, so that ListReports costs only its
// framing and parsing.
class MemoryStream final : public ReportStream {
 public:
  explicit MemoryStream(const std::vector<uint8_t>& reply) : reply_(reply) {}
  bool Connect(const std::string&, uint16_t) override { next_ = 0; return true; }
  int32_t Send(const uint8_t*, uint32_t length) override { return static_cast<int32_t>(length); }
  int32_t Receive(uint8_t* buffer, uint32_t length) override {
    const uint32_t count = std::min<uint32_t>(length, static_cast<uint32_t>(reply_.size() - next_));
    std::memcpy(buffer, reply_.data() + next_, count);
    next_ += count;
    return static_cast<int32_t>(count);
  }
  std::span<const uint8_t> Held() const override { return {reply_.data() + next_, reply_.size() - next_}; }
  void Consume(size_t count) override { next_ += count; }
  void ShutdownSend() override {}
  void ShutdownReceive() override {}
  void Close() override {}

 private:
  const std::vector<uint8_t>& reply_;
  size_t next_ = 0;
};

// The client's own socket stream without the parsing: connect, request, take
// the reply in large pieces, close.
size_t StreamReceive(const ServerEndpoint& endpoint, size_t replyBytes) {
  WinsockStream stream;
  size_t received = 0;
  if (stream.Connect(endpoint.address, endpoint.port)) {
    const auto request = EncodeFrameHeader(static_cast<uint8_t>(ClientCommand::ListReports), 0);
    stream.Send(request.data(), static_cast<uint32_t>(request.size()));
    static uint8_t block[64 << 10];
    int32_t got = 0;
    while (received < replyBytes && (got = stream.Receive(block, sizeof block)) > 0) received += got;
    CloseExchange(stream);
  }
  return received;
}

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Pumps until the worker has ended and the result it posted was handled.
void Settle() {
  while (!BrowserWorkerIdle()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    Pump();
  }
  Pump();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  // The dialogs come from the DLL's resources; the browser itself is linked in.
  HMODULE dll = LoadLibraryW(L"vnscope.dll");
  if (dll == nullptr) {
    std::printf("vnscope.dll did not load\n");
    return 1;
  }
  SetModuleInstance(dll);
  HWND owner = CreateWindowW(L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                             nullptr, nullptr);
  ListServer server;
  const ServerEndpoint endpoint{"127.0.0.1", server.port()};
  ReportBrowserSettings settings;
  settings.server = endpoint;
  SetReportBrowserSettings(settings);

  std::printf("%8s %10s %12s %8s %12s %8s %10s %10s %16s\n", "reports", "bulk ms", "exchange ms", "x bulk",
              "refresh ms", "x bulk", "tab ms", "paint ms", "+paint x bulk");
  double lastParse = 0, lastStream = 0;
  for (int count : {100, 1000, 5000}) {
    const std::vector<uint8_t> reply = ListReply(count);
    server.SetReply(reply);
    std::vector<double> bulk, exchange, refresh, tab, paint, parse, streamed;
    for (int i = 0; i < runs; ++i) {
      double start = Now();
      if (BulkReceive(server.port(), reply.size()) != reply.size()) std::printf("(bulk receive cut short)\n");
      bulk.push_back(Now() - start);
      ReportRecords records;
      WinsockStream stream;
      start = Now();
      ListReports(stream, endpoint, SystemAnsiCodec(), &records);
      exchange.push_back(Now() - start);
      if (records.size() != static_cast<size_t>(count)) std::printf("(exchange listed %zu)\n", records.size());
      MemoryStream memory(reply);
      ReportRecords parsed;
      start = Now();
      ListReports(memory, endpoint, SystemAnsiCodec(), &parsed);
      parse.push_back(Now() - start);
      start = Now();
      StreamReceive(endpoint, reply.size());
      streamed.push_back(Now() - start);
    }
    HWND browser = CreateReportBrowser(owner);
    Settle();
    HWND list = GetDlgItem(browser, IDC_BROWSER_LIST);
    HWND tabs = GetDlgItem(browser, IDC_BROWSER_TABS);
    NMHDR tabChange{tabs, IDC_BROWSER_TABS, static_cast<UINT>(TCN_SELCHANGE)};
    for (int i = 0; i < runs; ++i) {
      const double start = Now();
      SendMessageW(browser, WM_COMMAND, IDOK, 0);
      Settle();
      refresh.push_back(Now() - start);
      SendMessageW(tabs, TCM_SETCURSEL, 0, 0);
      const double tabStart = Now();
      SendMessageW(browser, WM_NOTIFY, IDC_BROWSER_TABS, reinterpret_cast<LPARAM>(&tabChange));
      tab.push_back(Now() - tabStart);
    }
    ShowWindow(browser, SW_SHOWNOACTIVATE);
    Pump();
    for (int i = 0; i < runs; ++i) {
      SendMessageW(browser, WM_NOTIFY, IDC_BROWSER_TABS, reinterpret_cast<LPARAM>(&tabChange));
      const double start = Now();
      UpdateWindow(list);
      paint.push_back(Now() - start);
    }
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    DestroyWindow(browser);
    WaitForBrowserWorker(5000, true);
    if (rows != count) std::printf("(list shows %d rows, expected %d)\n", rows, count);
    const double base = Median(bulk);
    lastParse = Median(parse);
    lastStream = Median(streamed);
    std::printf("%8d %10.2f %12.2f %8.2f %12.2f %8.2f %10.2f %10.2f %16.2f\n", count, base, Median(exchange),
                Median(exchange) / base, Median(refresh), Median(refresh) / base, Median(tab), Median(paint),
                (Median(refresh) + Median(paint)) / base);
  }
  std::printf("parse / stream medians of the last count: %.2f / %.2f ms\n", lastParse, lastStream);
  std::printf("(%zu reply bytes for 5000 reports; targets: exchange <= 2 x bulk, refresh <= 5 x bulk)\n",
              ListReply(5000).size());
  return 0;
}
