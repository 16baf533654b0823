// Every limit of the library and its report server, with the reason for its value.
#pragma once
#include <cstdint>

namespace vnscope::limits {

// Report server connection: a dead or silent server must fail the exchange with
// a message instead of freezing the engine's UI for ever. Connecting on a local
// network takes milliseconds; 10 s covers a busy Wi-Fi link.
inline constexpr uint32_t kConnectTimeoutMs = 10'000;
// Every receive waits at most this long for the next bytes. The server answers
// a submission only after it has committed the package to disk, which for a
// package of a few megabytes takes well under a second; 30 s leaves room for a
// loaded server without leaving a tester staring at a frozen game.
inline constexpr uint32_t kReceiveTimeoutMs = 30'000;
// Largest reply payload the client accepts. A snapshot is a PNG of the game
// screen: an uncompressed 1920 x 1080 RGBA picture is under 8.3 MB, so 64 MiB is
// far above any real reply; a larger length is a broken or hostile peer and is
// refused before anything is allocated.
inline constexpr uint32_t kMaxReplyPayload = 64u << 20;
// Largest package the report server accepts by default (configurable there).
inline constexpr uint32_t kDefaultMaxPackage = 64u << 20;

}  // namespace vnscope::limits
