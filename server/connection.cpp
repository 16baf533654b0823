#include "server/connection.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "server/log.h"
#include "server/socket_io.h"

namespace vnscope::server {
namespace {

// Replies smaller than this are gathered and sent together: a list reply is
// two small frames per report, and one write per frame would cost a system
// call each.
constexpr size_t kGatherLimit = 64 << 10;
// Payload buffers grow with the bytes that actually arrive, starting here, so
// that a client declaring a large frame and sending nothing costs nothing.
constexpr size_t kFirstPayloadChunk = 64 << 10;
// A connection keeps its payload buffer between requests only up to this size.
constexpr size_t kKeptPayloadBuffer = 1 << 20;

class SocketReplySink final : public ReplySink {
 public:
  SocketReplySink(int fd, int idle_ms) : fd_(fd), idle_ms_(idle_ms) {}

  bool Send(ServerReply code, std::span<const uint8_t> payload) override {
    if (status_ != IoStatus::kOk) return false;
    if (payload.size() < kGatherLimit) {
      AppendFrame(gathered_, code, payload);
      return gathered_.size() < kGatherLimit || Flush();
    }
    // Large payloads (snapshots) go out from where they are, after what was
    // gathered before them.
    auto header = EncodeFrameHeader(static_cast<uint8_t>(code), static_cast<uint32_t>(payload.size()));
    const iovec parts[] = {{gathered_.data(), gathered_.size()},
                           {header.data(), header.size()},
                           {const_cast<uint8_t*>(payload.data()), payload.size()}};
    return Write(parts, gathered_.size() + header.size() + payload.size());
  }

  bool Flush() {
    if (status_ != IoStatus::kOk) return false;
    const iovec parts[] = {{gathered_.data(), gathered_.size()}};
    return Write(parts, gathered_.size());
  }

  uint64_t bytes_sent() const { return bytes_sent_; }
  IoStatus status() const { return status_; }

 private:
  bool Write(std::span<const iovec> parts, size_t total) {
    status_ = WriteFull(fd_, parts, idle_ms_);
    if (status_ == IoStatus::kOk) bytes_sent_ += total;
    gathered_.clear();
    return status_ == IoStatus::kOk;
  }

  int fd_;
  int idle_ms_;
  IoStatus status_ = IoStatus::kOk;
  uint64_t bytes_sent_ = 0;
  std::vector<uint8_t> gathered_;
};

// A client's bytes, read in chunks: a small request's header and payload,
// and the EndExchange after it, each take one read instead of three.
class FrameInput {
 public:
  FrameInput(int fd, int idle_ms) : fd_(fd), idle_ms_(idle_ms) {}

  // Fills `out` exactly; until its first byte arrives, input on `stop_fd`
  // (when >= 0) ends the wait. `*done` tells how many bytes were filled.
  IoStatus Read(uint8_t* out, size_t size, int stop_fd, size_t* done) {
    *done = 0;
    while (*done < size) {
      const int stop = *done == 0 ? stop_fd : -1;
      if (begin_ == end_ && size - *done >= buffer_.size()) {
        // Large payloads go straight where they belong, not through here.
        size_t got = 0;
        const IoStatus status = ReadFull(fd_, out + *done, size - *done, idle_ms_, stop, &got);
        *done += got;
        return status;
      }
      if (begin_ == end_) {
        size_t got = 0;
        const IoStatus status = ReadSome(fd_, buffer_.data(), buffer_.size(), idle_ms_, stop, &got);
        if (status != IoStatus::kOk) return status;
        begin_ = 0;
        end_ = got;
      }
      const size_t step = std::min(size - *done, end_ - begin_);
      std::memcpy(out + *done, buffer_.data() + begin_, step);
      begin_ += step;
      *done += step;
    }
    return IoStatus::kOk;
  }

 private:
  int fd_;
  int idle_ms_;
  std::array<uint8_t, 4096> buffer_;
  size_t begin_ = 0, end_ = 0;  // the bytes of buffer_ not yet taken
};

IoStatus ReadPayload(FrameInput& input, uint32_t length, std::vector<uint8_t>* payload) {
  payload->clear();
  size_t have = 0;
  while (have < length) {
    const size_t target = std::min<size_t>(length, std::max(have * 2, kFirstPayloadChunk));
    payload->resize(target);
    size_t got = 0;
    const IoStatus status = input.Read(payload->data() + have, target - have, -1, &got);
    have += got;
    if (status != IoStatus::kOk) {
      payload->resize(have);  // what arrived, for the log
      return status;
    }
  }
  return IoStatus::kOk;
}

// Report names in requests are client bytes: the log shows them printable
// and short, so that no client can forge or flood log lines.
std::string Printable(const std::string& text) {
  constexpr size_t kShown = 64;
  std::string shown;
  for (size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte > 0x20 && byte < 0x7F && byte != '"' && byte != '\\' && byte != ',') {
      shown.push_back(static_cast<char>(byte));
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    }
  }
  if (text.size() > kShown) shown += "...";
  return shown;
}

// What one exchange did, gathered for its log line.
struct ExchangeLog {
  std::vector<std::string> commands;  // each distinct command once, in order
  std::string names;
  std::string results;
  uint64_t bytes_in = 0;

  void Add(const std::string& command, const std::string& name, const std::string& result) {
    if (std::find(commands.begin(), commands.end(), command) == commands.end()) commands.push_back(command);
    if (!name.empty()) names.append(names.empty() ? "" : ",").append(Printable(name));
    results.append(results.empty() ? "" : "; ").append(result);
  }
  std::string Commands() const {
    std::string text;
    for (const std::string& command : commands) text.append(text.empty() ? "" : ",").append(command);
    return text.empty() ? "-" : text;
  }
};

}  // namespace

void ServeConnection(int fd, const std::string& peer, RequestHandler& handler, const ConnectionSettings& settings,
                     int stop_fd) {
  const auto started = std::chrono::steady_clock::now();
  const int idle_ms = static_cast<int>(settings.idle_timeout_ms);
  SocketReplySink replies(fd, idle_ms);
  FrameInput input(fd, idle_ms);
  ExchangeLog log;
  std::vector<uint8_t> payload;
  std::string end;

  // Answers what cannot be read as a request, then closes: after a bad
  // header nothing that follows can be trusted to be a frame.
  auto refuse = [&](const std::string& command, const std::string& reason) {
    replies.Send(ServerReply::Refused, {reinterpret_cast<const uint8_t*>(reason.data()), reason.size()});
    replies.Flush();
    ShutdownAndDrain(fd, static_cast<int>(settings.linger_ms));
    log.Add(command, "", "refused: " + reason);
    end = "refused";
  };

  for (;;) {
    std::array<uint8_t, kFrameHeaderSize> header_bytes;
    size_t got = 0;
    // Between requests a stopping server hangs up at once; within one, the
    // request is let finish.
    IoStatus status = input.Read(header_bytes.data(), kFrameHeaderSize, stop_fd, &got);
    log.bytes_in += got;
    if (status != IoStatus::kOk && got == 0) {
      end = status == IoStatus::kClosed ? "closed" : IoStatusName(status);
      break;
    }
    if (status != IoStatus::kOk) {
      end = std::string("truncated header, ") + IoStatusName(status);
      break;
    }
    const FrameHeader header = DecodeFrameHeader(header_bytes);
    const auto command = CommandFromCode(header.code);
    const std::string command_name = CommandName(header.code);
    if (!command) {
      refuse(command_name, "unknown command");
      break;
    }
    if (header.length > MaxRequestPayload(*command, settings.max_package)) {
      refuse(command_name, "frame of " + std::to_string(header.length) + " bytes too large");
      break;
    }
    status = ReadPayload(input, header.length, &payload);
    log.bytes_in += payload.size();
    if (status != IoStatus::kOk) {
      log.Add(command_name, "", "truncated");
      end = std::string("truncated ") + command_name + ", " + IoStatusName(status);
      break;
    }
    if (*command == ClientCommand::EndExchange) {
      ShutdownAndDrain(fd, static_cast<int>(settings.linger_ms));
      end = "EndExchange";
      break;
    }
    RequestOutcome outcome = handler.Handle(*command, payload, peer, replies);
    if (!replies.Flush() && outcome.keep_open) {
      outcome.result += ", client gone";
      outcome.keep_open = false;
    }
    log.Add(command_name, outcome.name, outcome.result);
    if (!outcome.keep_open) {
      end = replies.status() == IoStatus::kOk ? "dropped" : IoStatusName(replies.status());
      break;
    }
    if (payload.capacity() > kKeptPayloadBuffer) std::vector<uint8_t>().swap(payload);
  }

  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  LogLine("peer=" + peer + " cmd=" + log.Commands() +
          " name=" + (log.names.empty() ? "-" : log.names) + " result=\"" + log.results + "\" in=" +
          std::to_string(log.bytes_in) + " out=" + std::to_string(replies.bytes_sent()) +
          " ms=" + std::to_string(ms) + " end=" + end);
}

}  // namespace vnscope::server
