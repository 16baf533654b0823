#include "report/protocol/report_framing.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "report/protocol/limits.h"
#include "report/protocol/report_types.h"
#include "report/protocol/wire_format.h"

namespace vnscope {
namespace {

constexpr uint32_t kHeaderBytes = kFrameHeaderSize;
// Small messages go out in one piece: a header and a payload sent apart would
// wait for each other under Nagle's rule and the peer's delayed ACK.
constexpr uint32_t kOnePieceLimit = 1024;
// Block size for discarding the server's last bytes at the close.
constexpr uint32_t kDrainBlock = 256;

bool SendAll(ReportStream& stream, const uint8_t* bytes, uint32_t length) {
  while (length > 0) {
    const int32_t sent = stream.Send(bytes, length);
    if (sent <= 0) return false;
    bytes += sent;
    length -= static_cast<uint32_t>(sent);
  }
  return true;
}

bool ReceiveAll(ReportStream& stream, uint8_t* buffer, uint32_t length) {
  while (length > 0) {
    const int32_t received = stream.Receive(buffer, length);
    if (received <= 0) return false;
    buffer += received;
    length -= static_cast<uint32_t>(received);
  }
  return true;
}

// The message read field by field through the stream into `payload`.
int ReceiveIntoBuffer(ReportStream& stream, ByteBuffer* payload) {
  uint8_t header[kHeaderBytes];
  if (!ReceiveAll(stream, header, kHeaderBytes)) return -1;
  const uint8_t code = header[0];
  const uint32_t length = ReadU32Le(header + 1);
  // The length comes from the peer: refuse a hostile one before allocating.
  if (length > limits::kMaxReplyPayload) return -1;
  // Ensure(0) allocates nothing, and marks the payload empty so that a
  // zero-length reply never reads as the previous reply's bytes.
  if (!payload->Ensure(length)) return -1;
  if (!ReceiveAll(stream, payload->Data(), length)) return -1;
  return code;
}

}  // namespace

bool SendReportMessage(ReportStream& stream, uint8_t code, const uint8_t* payload,
                       uint32_t length) {
  const auto header = EncodeFrameHeader(code, length);
  if (length <= kOnePieceLimit) {
    std::array<uint8_t, kHeaderBytes + kOnePieceLimit> message;
    std::copy(header.begin(), header.end(), message.begin());
    if (length > 0) std::copy(payload, payload + length, message.begin() + kHeaderBytes);
    return SendAll(stream, message.data(), kHeaderBytes + length);
  }
  return SendAll(stream, header.data(), kHeaderBytes) && SendAll(stream, payload, length);
}

ReceivedMessage ReceiveReportMessageInPlace(ReportStream& stream, ByteBuffer* storage) {
  const std::span<const uint8_t> held = stream.Held();
  if (held.size() >= kHeaderBytes) {
    const uint32_t length = ReadU32Le(held.data() + 1);
    if (length <= limits::kMaxReplyPayload && held.size() - kHeaderBytes >= length) {
      stream.Consume(kHeaderBytes + length);
      return {held[0], held.subspan(kHeaderBytes, length)};
    }
  }
  const int code = ReceiveIntoBuffer(stream, storage);
  if (code < 0) return {};
  return {code, {storage->Data(), storage->RequestedSize()}};
}

int ReceiveReportMessage(ReportStream& stream, ByteBuffer* payload) {
  const ReceivedMessage message = ReceiveReportMessageInPlace(stream, payload);
  if (message.code < 0) return -1;
  if (message.payload.data() != payload->Data()) {
    // Taken in place: the caller keeps the payload beyond the next read.
    if (!payload->Ensure(static_cast<uint32_t>(message.payload.size()))) return -1;
    if (!message.payload.empty()) std::memcpy(payload->Data(), message.payload.data(), message.payload.size());
  }
  return message.code;
}

void CloseExchange(ReportStream& stream) {
  // One piece: the length goes out only after the code byte did.
  const auto end_exchange = EncodeFrameHeader(static_cast<uint8_t>(ClientCommand::EndExchange), 0);
  SendAll(stream, end_exchange.data(), kHeaderBytes);
  stream.ShutdownSend();
  uint8_t discarded[kDrainBlock];
  // A server that keeps talking must not keep the engine waiting for ever.
  uint32_t drained = 0;
  int32_t received = 0;
  while (drained < limits::kMaxDrainAtClose &&
         (received = stream.Receive(discarded, sizeof discarded)) > 0) {
    drained += static_cast<uint32_t>(received);
  }
  stream.ShutdownReceive();
  stream.Close();
}

}  // namespace vnscope
