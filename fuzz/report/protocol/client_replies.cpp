// The report client's side of its five exchanges, with the fuzz bytes as
// everything the server says. The stream below serves them in chunks of a
// chosen size and takes sends up to a chosen budget; a model written from the
// protocol's framing rules replays each exchange on the same bytes. The
// client must read exactly the frames the model reads, send exactly the
// requests it sends, always end with the close, and report what it read.
//
// Input: exchange, options (connect fails, end of data as an error, number of
// names, reading ahead), receive chunk, send budget, state; then the server's
// bytes.
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "report/protocol/limits.h"
#include "report/protocol/report_client.h"
#include "report/protocol/report_types.h"
#include "report/protocol/wire_format.h"

namespace {

using namespace vnscope;
using vnscope::fuzz::Check;
using Bytes = std::vector<uint8_t>;

// The records as a tree of owned strings: what the client's pooled records
// must equal.
struct ModelRecord {
  std::u16string title, reporter;
  uint32_t flags = 0, state = ReportState::New;
};
using ModelRecords = std::map<std::u16string, ModelRecord>;

// A summary read field by field: title, reporter, flags after it, state last.
void ModelSummary(std::span<const uint8_t> payload, ModelRecord* record) {
  size_t at = 0;
  auto title = ReadUtf16LeString(payload, &at);
  auto reporter = title ? ReadUtf16LeString(payload, &at) : std::nullopt;
  if (!reporter || payload.size() < at + 8) return;
  *record = {*title, *reporter, ReadU32Le(payload.data() + at), ReadU32Le(payload.data() + payload.size() - 4)};
}

bool SameRecords(const ReportRecords& records, const ModelRecords& model) {
  return records.size() == model.size() &&
         std::equal(records.begin(), records.end(), model.begin(), [](const auto& a, const auto& b) {
           return a.first == b.first && a.second.title == b.second.title &&
                  a.second.reporter == b.second.reporter && a.second.flags == b.second.flags &&
                  a.second.state == b.second.state;
         });
}

class ScriptedStream final : public ReportStream {
 public:
  ScriptedStream(std::span<const uint8_t> replies, size_t chunk, size_t send_budget, bool connects,
                 bool end_is_error, bool reads_ahead)
      : replies_(replies),
        chunk_(chunk),
        budget_(send_budget),
        connects_(connects),
        end_is_error_(end_is_error),
        reads_ahead_(reads_ahead) {}

  bool Connect(const std::string& address, uint16_t port) override {
    Check(!connected_ && connect_calls_ == 0 && !address.empty() && port != 0, "second or bad connect");
    ++connect_calls_;
    connected_ = connects_;
    return connects_;
  }
  int32_t Send(const uint8_t* bytes, uint32_t length) override {
    Check(connected_ && !send_shut_ && length > 0, "send outside the exchange");
    if (budget_ == 0) return -1;
    const size_t count = std::min<size_t>(length, budget_);
    sent_.insert(sent_.end(), bytes, bytes + count);
    budget_ -= count;
    return static_cast<int32_t>(count);
  }
  int32_t Receive(uint8_t* buffer, uint32_t length) override {
    Check(connected_ && !receive_shut_ && length > 0, "receive outside the exchange");
    // Once the end showed, only the close's drain may ask again, and it
    // stops at the end too.
    Check(!ended_, "read on after the server's end");
    if (read_ == replies_.size()) {
      ended_ = true;
      return end_is_error_ ? -1 : 0;
    }
    const size_t count = std::min({size_t{length}, chunk_, replies_.size() - read_});
    std::memcpy(buffer, replies_.data() + read_, count);
    read_ += count;
    return static_cast<int32_t>(count);
  }
  // Reading ahead, the next chunk counts as received: the framing may take
  // whole messages from it, and never more than it holds.
  std::span<const uint8_t> Held() const override {
    if (!reads_ahead_ || !connected_ || receive_shut_) return {};
    return replies_.subspan(read_, std::min(chunk_, replies_.size() - read_));
  }
  void Consume(size_t count) override {
    Check(count <= Held().size(), "took more than the stream held");
    read_ += count;
  }
  void ShutdownSend() override {
    Check(connected_ && !send_shut_, "send side shut twice");
    send_shut_ = true;
    read_before_close_ = read_;
    ended_ = false;  // the drain starts afresh
  }
  void ShutdownReceive() override {
    Check(connected_ && send_shut_ && !receive_shut_, "receive side shut out of order");
    receive_shut_ = true;
  }
  void Close() override {
    Check(connected_ && receive_shut_, "close before both shutdowns");
    connected_ = false;
    ++close_calls_;
  }

  const Bytes& sent() const { return sent_; }
  size_t read_before_close() const { return read_before_close_; }
  size_t read() const { return read_; }
  int connect_calls() const { return connect_calls_; }
  int close_calls() const { return close_calls_; }
  bool closed_properly() const { return close_calls_ == 1 && send_shut_ && receive_shut_ && !connected_; }

 private:
  std::span<const uint8_t> replies_;
  size_t chunk_;
  size_t budget_;
  bool connects_;
  bool end_is_error_;
  bool reads_ahead_;
  bool connected_ = false;
  bool send_shut_ = false;
  bool receive_shut_ = false;
  bool ended_ = false;
  int connect_calls_ = 0;
  int close_calls_ = 0;
  size_t read_ = 0;
  size_t read_before_close_ = SIZE_MAX;
  Bytes sent_;
};

// The exchanges replayed by the framing rules: frames in, requests out.
class Model {
 public:
  Model(std::span<const uint8_t> replies, size_t send_budget) : replies_(replies), budget_(send_budget) {}

  struct Frame {
    int code = -1;  // -1: the read failed
    std::span<const uint8_t> payload;
  };
  Frame Read() {
    const auto rest = replies_.subspan(read_);
    if (rest.size() < 5) return Fail(rest.size());
    const uint32_t length = ReadU32Le(rest.data() + 1);
    if (length > limits::kMaxReplyPayload) return Fail(5);
    if (rest.size() - 5 < length) return Fail(rest.size());
    read_ += 5 + length;
    return {rest[0], rest.subspan(5, length)};
  }
  // Whether a request goes out whole within the send budget.
  bool Send(uint8_t code, const Bytes& payload) {
    const auto header = EncodeFrameHeader(code, static_cast<uint32_t>(payload.size()));
    requests_.insert(requests_.end(), header.begin(), header.end());
    requests_.insert(requests_.end(), payload.begin(), payload.end());
    return requests_.size() <= budget_;
  }
  // Everything the client sends, cut where the budget ends.
  Bytes SentWithClose() const {
    Bytes all = requests_;
    all.insert(all.end(), {0, 0, 0, 0, 0});
    all.resize(std::min(all.size(), budget_));
    return all;
  }
  size_t read() const { return read_; }

 private:
  Frame Fail(size_t consumed) {
    read_ += consumed;
    return {};
  }
  std::span<const uint8_t> replies_;
  size_t budget_;
  size_t read_ = 0;
  Bytes requests_;
};

std::u16string Latin1Text(std::span<const uint8_t> payload) {
  const auto end = std::find(payload.begin(), payload.end(), uint8_t{0});
  return std::u16string(payload.begin(), end);
}

Bytes NameBytes(std::u16string_view name) {
  Bytes bytes;
  for (char16_t unit : name) bytes.push_back(unit <= 0xFF ? static_cast<uint8_t>(unit) : '?');
  return bytes;
}

const Latin1Codec kCodec;
const ServerEndpoint kServer{"127.0.0.1", 47211};
const Bytes kPackage = [] {
  Bytes package(1500, 0x5A);  // over the client's one-piece limit: header and payload apart
  package[0] = 'P';
  return package;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::OpReader input(data, size);
  const uint8_t exchange = input.U8() % 5;
  const uint8_t options = input.U8();
  const uint8_t chunk_byte = input.U8();
  const uint8_t budget_byte = input.U8();
  const uint8_t state_byte = input.U8();
  const bool connects = !(options & 1);
  const bool end_is_error = options & 2;
  const size_t chunk = chunk_byte == 0 ? SIZE_MAX : chunk_byte;
  const size_t budget = budget_byte >= 0x80 ? SIZE_MAX : size_t{budget_byte} * 16;
  const uint32_t state = (state_byte & 0x80 ? 0x80000000u : 0) | (state_byte & 3);
  static const std::u16string kAllNames[] = {u"20260101-000000-000001", u"名前", u"x"};
  const std::vector<std::u16string> names(kAllNames, kAllNames + (options >> 2 & 3) % 4);
  const std::span<const uint8_t> replies = input.Rest();

  ScriptedStream stream(replies, chunk, budget, connects, end_is_error, options & 16);
  // Without a connection nothing goes out, so the model reads nothing either.
  Model model(replies, connects ? budget : 0);
  bool result = false;
  int last = -1;
  switch (exchange) {
    case 0: {  // SubmitReport: one reply, code 0 stores, another refuses, none breaks off
      const SubmitResult submitted =
          SubmitReport(stream, kServer, kPackage.data(), static_cast<uint32_t>(kPackage.size()));
      result = submitted == SubmitResult::Stored;
      if (model.Send(1, kPackage)) last = model.Read().code;
      const SubmitResult expected = !connects  ? SubmitResult::NoServer
                                    : last < 0  ? SubmitResult::BrokenOff
                                    : last == 0 ? SubmitResult::Stored
                                                : SubmitResult::Refused;
      Check(submitted == expected, "submission ended otherwise than its reply says");
      break;
    }
    case 1: {  // ListReports: names, each summary filling the record of the name before it
      ReportRecords records;
      records[u"stale"];
      ModelRecords model_records;
      result = ListReports(stream, kServer, kCodec, &records);
      if (model.Send(2, {})) {
        ModelRecord* current = nullptr;
        for (;;) {
          const auto frame = model.Read();
          last = frame.code;
          if (last <= 0) break;
          if (last == 2) current = &model_records[Latin1Text(frame.payload)];
          if (last == 3 && current) ModelSummary(frame.payload, current);
        }
      }
      if (connects) {
        Check(SameRecords(records, model_records), "list differs from its names and summaries");
      } else {
        Check(records.empty(), "list kept records without a connection");
      }
      break;
    }
    case 2:    // FetchSnapshots: each name's replies up to its Done
    case 3: {  // SetReportState: likewise, StateChanged marks the record
      std::vector<Bytes> snapshots, model_snapshots;
      ReportRecords records;
      records[u"other"] = {u"t", u"r", 1, 1};
      ModelRecords model_records{{u"other", {u"t", u"r", 1, 1}}};
      if (exchange == 2) {
        result = FetchSnapshots(stream, kServer, kCodec, names,
                                [&](std::span<const uint8_t> png) { snapshots.emplace_back(png.begin(), png.end()); });
      } else {
        result = SetReportState(stream, kServer, kCodec, names, state, &records);
      }
      for (const auto& name : names) {
        Bytes payload;
        if (exchange == 3) AppendU32Le(payload, state);
        const Bytes text = NameBytes(name);
        payload.insert(payload.end(), text.begin(), text.end());
        payload.push_back(0);
        if (exchange == 3) payload.push_back(0);
        if (!model.Send(exchange == 2 ? 3 : 4, payload)) continue;
        do {
          const auto frame = model.Read();
          last = frame.code;
          if (exchange == 2 && last == 4) model_snapshots.emplace_back(frame.payload.begin(), frame.payload.end());
          if (exchange == 3 && last == 5) model_records[name].state = state;
        } while (last > 0);
        if (last < 0) break;
      }
      Check(snapshots == model_snapshots, "snapshots differ from the replies");
      Check(SameRecords(records, model_records), "states differ from the replies");
      break;
    }
    case 4: {  // FetchReport: the texts and line breaks in order
      std::u16string got, want;
      ReportTextSink sink{[&](const std::u16string& text) { got += u"<" + text + u">"; },
                          [&] { got += u"|"; }};
      result = FetchReport(stream, kServer, kCodec, u"20260101-000000-000001", sink);
      Bytes payload = NameBytes(u"20260101-000000-000001");
      payload.push_back(0);
      if (model.Send(5, payload)) {
        do {
          const auto frame = model.Read();
          last = frame.code;
          if (last == 6) want += u"<" + Latin1Text(frame.payload) + u">";
          if (last == 7) want += u"|";
        } while (last > 0);
      }
      Check(got == want, "report text differs from the replies");
      break;
    }
  }
  const bool expected = last == 0;
  Check(stream.connect_calls() == 1, "exchange did not connect once");
  if (!connects) {
    Check(!result && stream.close_calls() == 0 && stream.sent().empty() && stream.read() == 0,
          "exchange went on without a connection");
    return 0;
  }
  Check(result == expected, "result is not whether the last reply was Done");
  Check(stream.closed_properly(), "exchange not ended with the close");
  Check(stream.sent() == model.SentWithClose(), "requests differ from the protocol's");
  Check(stream.read_before_close() == model.read(), "client read other frames than its replies");
  Check(stream.read() == replies.size() || stream.read() - stream.read_before_close() >= limits::kMaxDrainAtClose,
        "close did not drain the server's last bytes");
  return 0;
}
