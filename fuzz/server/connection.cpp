// The report port as any client may use it: the bytes one connection sends
// (several requests, truncated frames, huge lengths, unknown codes) are served
// by the real connection loop and request handler over a real store, and the
// replies are checked against the protocol's framing, request by request.
//
// The store lives in a temporary directory on /dev/shm, made once per process
// from a template holding two reports; an input that changed the store gets
// a fresh copy, so every input meets the same store.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "fuzz/fuzz_support.h"
#include "report/protocol/limits.h"
#include "report/protocol/report_summary.h"
#include "server/connection.h"
#include "server/handlers.h"
#include "server/package.h"
#include "server/report_name.h"
#include "server/store.h"
#include "test_support.h"

namespace fs = std::filesystem;
using vnscope::fuzz::Check;
using vnscope::fuzz::Fail;

namespace vnscope::server {
// The server's log line for each exchange comes here instead of standard
// error (this definition takes the library's place at link time): it must be
// one line, whatever the client sent.
void LogLine(const std::string& line) {
  for (char c : line) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "log line holds a control character");
}
}  // namespace vnscope::server

namespace {

using namespace vnscope;
using namespace vnscope::server;

constexpr int64_t kClockMs = 1'767'225'600'000;  // 2026-01-01, for stable names
constexpr uint32_t kMaxPackage = 256 << 10;      // above the store's inline limit
const std::string kText = "script line\r\nsecond line";
const test::Bytes kSnapshot = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3};

class StoreFixture {
 public:
  StoreFixture() {
    const fs::path shm = "/dev/shm";
    std::string pattern = ((fs::is_directory(shm) ? shm : fs::temp_directory_path()) / "vnscope-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) Fail("cannot create the data directory");
    base_ = pattern;
    std::string error;
    auto store = ReportStore::Open(base_ / "template", &error);
    Check(store != nullptr, "template store does not open");
    for (bool snapshot : {true, false}) {
      const test::Bytes package = test::ReportPackage(u"題名", kText, snapshot ? kSnapshot : test::Bytes{});
      auto summary = InspectPackage(package, &error);
      Check(summary.has_value(), "template package refused");
      auto name = store->Add(*summary, package, "fixture", kClockMs, &error);
      Check(name.has_value(), "template report not stored");
      has_snapshot_[*name] = snapshot;
    }
    Reset();
  }
  ~StoreFixture() {
    store_.reset();
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }

  ReportStore& store() { return *store_; }
  // The template's reports by name: whether each has a snapshot.
  const std::map<std::string, bool>& has_snapshot() const { return has_snapshot_; }
  // Back to the template when the last input changed anything.
  void AfterInput() {
    if (store_->revision() != revision_) Reset();
  }

 private:
  void Reset() {
    store_.reset();
    const fs::path live = base_ / "live";
    fs::remove_all(live);
    fs::copy(base_ / "template", live, fs::copy_options::recursive);
    std::string error;
    store_ = ReportStore::Open(live, &error);
    Check(store_ != nullptr, "live store does not open");
    revision_ = store_->revision();
  }

  fs::path base_;
  std::unique_ptr<ReportStore> store_;
  std::map<std::string, bool> has_snapshot_;
  uint64_t revision_ = 0;
};

// The client's side: sends `input`, then shuts its sending side, reading
// every reply meanwhile, until the server closes.
std::vector<uint8_t> Converse(int fd, std::span<const uint8_t> input) {
  std::vector<uint8_t> replies;
  size_t sent = 0;
  bool sending = true;
  if (input.empty()) {
    shutdown(fd, SHUT_WR);
    sending = false;
  }
  uint8_t block[64 << 10];
  for (;;) {
    pollfd wait{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
    // Far below libFuzzer's time-out: a server that stops answering is a hang.
    if (poll(&wait, 1, 20'000) == 0) Fail("server neither reads nor answers");
    if (sending && (wait.revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = send(fd, input.data() + sent, std::min<size_t>(input.size() - sent, sizeof block), MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<size_t>(n);
      if ((n < 0 && errno != EAGAIN) || sent == input.size()) {
        shutdown(fd, SHUT_WR);
        sending = false;
      }
    }
    if (wait.revents & (POLLIN | POLLERR | POLLHUP)) {
      const ssize_t n = recv(fd, block, sizeof block, 0);
      if (n > 0) replies.insert(replies.end(), block, block + n);
      else if (n == 0 || errno != EAGAIN) break;
    }
  }
  close(fd);
  return replies;
}

struct Frame {
  uint8_t code = 0;
  std::span<const uint8_t> payload;
};

// Splits the server's replies into frames; they must end on a frame boundary.
std::vector<Frame> ReplyFrames(std::span<const uint8_t> bytes) {
  std::vector<Frame> frames;
  while (!bytes.empty()) {
    Check(bytes.size() >= 5, "reply ends inside a header");
    const uint32_t length = ReadU32Le(bytes.data() + 1);
    Check(length <= limits::kMaxReplyPayload, "reply longer than the client takes");
    Check(bytes.size() - 5 >= length, "reply ends inside a payload");
    Check(bytes[0] <= 8, "reply code the protocol does not have");
    frames.push_back({bytes[0], bytes.subspan(5, length)});
    bytes = bytes.subspan(5 + length);
  }
  return frames;
}

// The requests the server must answer, read by the protocol's rules: every
// whole frame up to the first EndExchange, unknown code or oversized length.
struct Requests {
  std::vector<Frame> answered;
  bool refused = false;  // the last frame was one the server must refuse
};

Requests ReadRequests(std::span<const uint8_t> bytes) {
  Requests requests;
  while (bytes.size() >= 5) {
    const uint8_t code = bytes[0];
    const uint32_t length = ReadU32Le(bytes.data() + 1);
    if (code > 6 || length > (code == 1 ? kMaxPackage : limits::kMaxRequestPayload)) {
      requests.refused = true;
      break;
    }
    if (bytes.size() - 5 < length || code == 0) break;
    requests.answered.push_back({code, bytes.subspan(5, length)});
    bytes = bytes.subspan(5 + length);
  }
  return requests;
}

// The text before the payload's first 0; nothing without a 0.
std::optional<std::string> TextBefore0(std::span<const uint8_t> payload) {
  const auto end = std::find(payload.begin(), payload.end(), uint8_t{0});
  if (end == payload.end()) return std::nullopt;
  return std::string(payload.begin(), end);
}

// A report name as the server sends one: the name and a single 0 at the end.
std::optional<std::string> ReplyName(std::span<const uint8_t> payload) {
  auto name = TextBefore0(payload);
  if (!name || name->size() + 1 != payload.size() || !LooksLikeReportName(*name)) return std::nullopt;
  return name;
}

bool IsClientState(uint32_t state) {
  return state == 0 || state == 1 || state == 0x80000000u || state == 0x80000001u || state == 0x80000002u;
}

// Checks each request's replies: the codes and payloads its command allows,
// for the reports the store holds (the fixture's, and those this input added).
void CheckReplies(const StoreFixture& fixture, const Requests& requests, const std::vector<Frame>& frames) {
  const std::map<std::string, bool>& stored = fixture.has_snapshot();
  std::set<std::string> submitted;  // by this input; whether they have a snapshot is not known
  auto known = [&](const std::string& name) { return stored.count(name) || submitted.count(name); };
  size_t at = 0;
  auto next = [&]() -> const Frame& {
    Check(at < frames.size(), "a request got no reply");
    return frames[at++];
  };
  auto expect_done = [&] { Check(next().code == 0 && frames[at - 1].payload.empty(), "request not ended by Done"); };
  for (const Frame& request : requests.answered) {
    switch (request.code) {
      case 1: {  // SubmitReport: exactly one reply, the new name or a refusal with its reason
        const Frame& reply = next();
        Check(reply.code == 0 || reply.code == 1, "submission answered with another code");
        if (reply.code == 0) {
          const auto name = ReplyName(reply.payload);
          Check(name.has_value(), "stored report's name malformed");
          Check(!known(*name), "stored report's name given twice");
          submitted.insert(*name);
        } else {
          Check(!reply.payload.empty(), "refusal without a reason");
        }
        break;
      }
      case 2: {  // ListReports: every report once, oldest first, then Done
        std::string previous;
        for (size_t i = 0; i < stored.size() + submitted.size(); ++i) {
          const Frame& entry = next();
          const auto name = entry.code == 2 ? ReplyName(entry.payload) : std::nullopt;
          Check(name.has_value(), "list entry is not a report name");
          Check(known(*name) && *name > previous, "list out of order or names an unknown report");
          previous = *name;
          const Frame& summary = next();
          TextPool texts;
          ReportRecord record;
          Check(summary.code == 3 && ParseReportSummary(summary.payload, texts, &record), "list summary unreadable");
        }
        expect_done();
        break;
      }
      case 3:    // FetchSnapshot
      case 5: {  // FetchReport
        const auto name = TextBefore0(request.payload);  // a name without its 0 finds nothing
        const auto from_template = name ? stored.find(*name) : stored.end();
        const bool from_input = name && submitted.count(*name);
        // A template report sends its text, and its snapshot when it has one;
        // a submitted one may send either or not.
        const bool sends =
            from_input || (from_template != stored.end() && (request.code == 5 || from_template->second));
        if (sends && at < frames.size() && frames[at].code != 0) {
          const Frame& data = next();
          if (request.code == 3) {
            Check(data.code == 4, "snapshot reply has the wrong code");
            if (!from_input)
              Check(std::equal(data.payload.begin(), data.payload.end(), kSnapshot.begin(), kSnapshot.end()),
                    "snapshot differs from the stored one");
          } else {
            Check(data.code == 6 && !data.payload.empty() && data.payload.back() == 0, "report text reply malformed");
            if (!from_input)
              Check(std::string(data.payload.begin(), data.payload.end() - 1) == kText, "report text differs");
            Check(next().code == 7, "report text without its line break");
          }
        } else {
          Check(!sends || from_input, "stored entry not sent");
        }
        expect_done();
        break;
      }
      case 6: {  // FetchReportEntry: the entry and Done, or a refusal alone
        const auto name = TextBefore0(request.payload);
        const auto entry = name ? TextBefore0(request.payload.subspan(name->size() + 1)) : std::nullopt;
        const Frame& reply = next();
        // Every stored report has its author entry.
        if (entry == "author" && stored.count(*name)) Check(reply.code == 8, "stored author entry not sent");
        if (reply.code == 8) {
          expect_done();
        } else {
          Check(reply.code == 1 && !reply.payload.empty(), "entry request answered with another code");
        }
        break;
      }
      case 4: {  // SetReportState
        const auto name = request.payload.size() >= 4 ? TextBefore0(request.payload.subspan(4)) : std::nullopt;
        const bool changes = name && IsClientState(ReadU32Le(request.payload.data())) && known(*name);
        if (changes) Check(next().code == 5, "known state of a stored report not changed");
        expect_done();
        break;
      }
    }
  }
  if (requests.refused) {
    Check(at < frames.size() && frames[at].code == 1 && !frames[at].payload.empty(), "bad frame not refused");
    ++at;
  }
  Check(at == frames.size(), "replies beyond the requests");
}

StoreFixture* fixture = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static StoreFixture made;
  fixture = &made;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int ends[2];
  Check(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) == 0, "socketpair");
  const std::span<const uint8_t> input(data, size);
  std::vector<uint8_t> replies;
  std::thread client([&] { replies = Converse(ends[1], input); });
  RequestHandler handler(fixture->store(), [] { return kClockMs; });
  const ConnectionSettings settings{kMaxPackage, 10'000, 10'000};
  ServeConnection(ends[0], "fuzz:1", handler, settings, -1);
  close(ends[0]);
  client.join();

  CheckReplies(*fixture, ReadRequests(input), ReplyFrames(replies));
  fixture->AfterInput();
  return 0;
}
