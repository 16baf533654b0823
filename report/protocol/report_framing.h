// Message framing of the report server protocol: a code byte, a 32-bit
// little-endian payload length, the payload. The same in both directions.
#pragma once
#include <cstdint>
#include <span>

#include "report/protocol/byte_buffer.h"
#include "report/protocol/report_stream.h"

namespace vnscope {

// Sends one message, continuing after partial sends until every byte is out.
// False on the first send that fails.
bool SendReportMessage(ReportStream& stream, uint8_t code, const uint8_t* payload,
                       uint32_t length);

// Receives one message: returns its code (0 to 255) with the payload in
// `payload`'s block and its length as the requested size, or -1 when the peer
// closes, an error or time-out happens, the block cannot grow, or the length
// exceeds limits::kMaxReplyPayload (refused before anything is allocated). A
// payload of length 0 leaves the block as it was with requested size 0.
int ReceiveReportMessage(ReportStream& stream, ByteBuffer* payload);

// One message as received: its code, or -1 as above, and its payload, which
// views the stream's held bytes when the message lay whole among them and
// `storage` otherwise. The view holds until the next read from the stream.
struct ReceivedMessage {
  int code = -1;
  std::span<const uint8_t> payload;
};
ReceivedMessage ReceiveReportMessageInPlace(ReportStream& stream, ByteBuffer* storage);

// Ends an exchange that connected, whatever happened before: sends EndExchange
// (the length only once the code went out), shuts down sending, discards
// whatever the server still sends until it closes, shuts down receiving and
// closes the stream.
void CloseExchange(ReportStream& stream);

}  // namespace vnscope
