#include "report/protocol/report_client.h"

#include <cstring>
#include <optional>

#include "report/protocol/byte_buffer.h"
#include "report/protocol/report_framing.h"
#include "report/protocol/report_records.h"
#include "report/protocol/report_types.h"
#include "report/protocol/wire_format.h"

namespace vnscope {
namespace {

// Every exchange's result: the code of the last reply, -1 until one arrives
// and after a receive fails.
constexpr int kNoReply = -1;

bool Send(ReportStream& stream, ClientCommand command, const std::vector<uint8_t>& payload) {
  return SendReportMessage(stream, static_cast<uint8_t>(command), payload.data(),
                           static_cast<uint32_t>(payload.size()));
}

// ANSI text and one 0 byte, as FetchSnapshot and FetchReport carry names.
std::vector<uint8_t> NamePayload(const TextCodec& codec, std::u16string_view name) {
  const std::string ansi = codec.FromUtf16(name);
  std::vector<uint8_t> payload(ansi.begin(), ansi.end());
  payload.push_back(0);
  return payload;
}

// A reply's ANSI text up to its 0 byte, or all of it when a broken server left
// the terminator out, into `text`. Every ANSI code page maps the bytes below
// 0x80 as ASCII does, and the server's report names are ASCII: those are
// widened as they are found, without the codec's new string for each of
// thousands.
void AnsiPayloadText(const TextCodec& codec, std::span<const uint8_t> payload, std::u16string* text) {
  text->clear();
  size_t length = 0;
  for (; length < payload.size() && payload[length] != 0; ++length) {
    if (payload[length] >= 0x80) break;
    text->push_back(payload[length]);
  }
  if (length == payload.size() || payload[length] == 0) return;
  const auto* bytes = reinterpret_cast<const char*>(payload.data());
  const void* terminator = std::memchr(bytes, 0, payload.size());
  *text = codec.ToUtf16(std::string_view(
      bytes, terminator != nullptr ? static_cast<const char*>(terminator) - bytes : payload.size()));
}

std::u16string AnsiPayloadText(const TextCodec& codec, const ByteBuffer& payload) {
  std::u16string text;
  AnsiPayloadText(codec, {payload.Data(), payload.RequestedSize()}, &text);
  return text;
}

std::span<const uint8_t> PayloadBytes(const ByteBuffer& payload) {
  return {payload.Data(), payload.RequestedSize()};
}

}  // namespace

SubmitResult SubmitReport(ReportStream& stream, const ServerEndpoint& server, const uint8_t* package,
                          uint32_t length) {
  if (!stream.Connect(server.address, server.port)) return SubmitResult::NoServer;
  int last_code = kNoReply;
  if (SendReportMessage(stream, static_cast<uint8_t>(ClientCommand::SubmitReport), package,
                        length)) {
    ByteBuffer reply;
    last_code = ReceiveReportMessage(stream, &reply);
  }
  CloseExchange(stream);
  if (last_code == kNoReply) return SubmitResult::BrokenOff;
  return last_code == 0 ? SubmitResult::Stored : SubmitResult::Refused;
}

bool ListReports(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                 ReportRecords* records) {
  records->clear();
  if (!stream.Connect(server.address, server.port)) return false;
  int last_code = kNoReply;
  if (Send(stream, ClientCommand::ListReports, {})) {
    ByteBuffer storage;
    std::u16string name;  // reused: a name is kept only in the records' pool
    for (;;) {
      // Thousands of short replies: each read where it lies when it can be.
      const ReceivedMessage reply = ReceiveReportMessageInPlace(stream, &storage);
      last_code = reply.code;
      if (last_code <= 0) break;
      switch (static_cast<ServerReply>(last_code)) {
        case ServerReply::ReportName:
          AnsiPayloadText(codec, reply.payload, &name);
          records->Arrive(name);
          break;
        case ServerReply::ReportSummary:
          // One before any name is refused there.
          records->SummariseLast(reply.payload);
          break;
        default:
          break;
      }
    }
  }
  records->Settle();
  CloseExchange(stream);
  return last_code == 0;
}

bool FetchSnapshots(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                    const std::vector<std::u16string>& names,
                    const std::function<void(std::span<const uint8_t>)>& on_snapshot) {
  if (!stream.Connect(server.address, server.port)) return false;
  int last_code = kNoReply;
  ByteBuffer reply;
  for (const auto& name : names) {
    // A failed send leaves the last code as it was and tries the next name.
    if (!Send(stream, ClientCommand::FetchSnapshot, NamePayload(codec, name))) continue;
    do {
      last_code = ReceiveReportMessage(stream, &reply);
      if (last_code == static_cast<int>(ServerReply::SnapshotData) && on_snapshot) {
        on_snapshot(PayloadBytes(reply));
      }
    } while (last_code > 0);
    // After a failed receive the stream is no longer in step with the
    // server's framing: nothing more can be read from it safely.
    if (last_code < 0) break;
  }
  CloseExchange(stream);
  return last_code == 0;
}

bool SetReportState(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                    const std::vector<std::u16string>& names, uint32_t state,
                    ReportRecords* records) {
  if (!stream.Connect(server.address, server.port)) return false;
  int last_code = kNoReply;
  ByteBuffer reply;
  for (const auto& name : names) {
    // The state, then the ANSI name followed by two 0 bytes.
    std::vector<uint8_t> payload;
    AppendU32Le(payload, state);
    const std::string ansi = codec.FromUtf16(name);
    payload.insert(payload.end(), ansi.begin(), ansi.end());
    payload.insert(payload.end(), {0, 0});
    if (!Send(stream, ClientCommand::SetReportState, payload)) continue;
    do {
      last_code = ReceiveReportMessage(stream, &reply);
      if (last_code == static_cast<int>(ServerReply::StateChanged)) {
        (*records)[name].state = state;
      }
    } while (last_code > 0);
    if (last_code < 0) break;  // out of step with the server, as above
  }
  CloseExchange(stream);
  return last_code == 0;
}

bool FetchReport(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                 std::u16string_view name, const ReportTextSink& sink) {
  if (!stream.Connect(server.address, server.port)) return false;
  int last_code = kNoReply;
  if (Send(stream, ClientCommand::FetchReport, NamePayload(codec, name))) {
    ByteBuffer reply;
    do {
      last_code = ReceiveReportMessage(stream, &reply);
      if (last_code == static_cast<int>(ServerReply::ReportText)) {
        if (sink.on_text) sink.on_text(AnsiPayloadText(codec, reply));
      } else if (last_code == static_cast<int>(ServerReply::ReportLineBreak)) {
        if (sink.on_line_break) sink.on_line_break();
      }
    } while (last_code > 0);
  }
  CloseExchange(stream);
  return last_code == 0;
}

bool FetchReportEntries(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                        std::u16string_view name, std::span<const std::string_view> entries,
                        std::vector<std::vector<uint8_t>>* contents) {
  contents->clear();
  if (!stream.Connect(server.address, server.port)) return false;
  bool complete = true;
  ByteBuffer reply;
  for (std::string_view entry : entries) {
    // The report name as FetchReport carries it, then the entry name and its 0.
    std::vector<uint8_t> payload = NamePayload(codec, name);
    payload.insert(payload.end(), entry.begin(), entry.end());
    payload.push_back(0);
    std::optional<std::vector<uint8_t>> content;
    int code = kNoReply;
    if (Send(stream, ClientCommand::FetchReportEntry, payload)) {
      // A refusal comes alone: nothing follows it that could be waited for.
      do {
        code = ReceiveReportMessage(stream, &reply);
        if (code == static_cast<int>(ServerReply::ReportEntry)) {
          const std::span<const uint8_t> bytes = PayloadBytes(reply);
          content.emplace(bytes.begin(), bytes.end());
        }
      } while (code > 0 && code != static_cast<int>(ServerReply::Refused));
    }
    if (code != 0 || !content) {
      complete = false;
      break;
    }
    contents->push_back(std::move(*content));
  }
  CloseExchange(stream);
  return complete;
}

}  // namespace vnscope
