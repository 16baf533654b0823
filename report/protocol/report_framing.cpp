#include "report/protocol/report_framing.h"

#include <algorithm>
#include <array>

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

int ReceiveReportMessage(ReportStream& stream, ByteBuffer* payload) {
  uint8_t code = 0;
  if (stream.Receive(&code, 1) != 1) return -1;
  uint8_t length_bytes[4];
  if (!ReceiveAll(stream, length_bytes, sizeof length_bytes)) return -1;
  const uint32_t length = ReadU32Le(length_bytes);
  // The length comes from the peer: refuse a hostile one before allocating.
  if (length > limits::kMaxReplyPayload) return -1;
  // Ensure(0) allocates nothing, and marks the payload empty so that a
  // zero-length reply never reads as the previous reply's bytes.
  if (!payload->Ensure(length)) return -1;
  if (!ReceiveAll(stream, payload->Data(), length)) return -1;
  return code;
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
