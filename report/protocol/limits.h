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
// Bytes the client reads and discards while closing an exchange before it
// gives up waiting for the server to close: a well-behaved server sends
// nothing after its last reply, so 1 MiB only stops a server that never stops.
inline constexpr uint32_t kMaxDrainAtClose = 1u << 20;
// Largest vnscope.ini the DLL reads. The file holds one section of two short
// lines; 64 KiB leaves room for any comments a studio writes, and anything
// larger is not that file.
inline constexpr uint32_t kMaxSettingsFileBytes = 64u << 10;
// Largest package the report server accepts by default (configurable there).
inline constexpr uint32_t kDefaultMaxPackage = 64u << 20;

// Every send waits at most this long for room in the socket's send buffer: a
// server that stops reading in the middle of a package must not freeze the
// engine either. The same 30 s as a receive, for the same reasons.
inline constexpr uint32_t kSendTimeoutMs = 30'000;
// Largest piece handed to one send. The send time-out must bound the wait
// for room in the socket's buffer, not the whole package: a 30 MB package over
// a slow link must not fail after 30 s however steadily it moves, which is
// what "the server stopped reading" means. In pieces of 64 KiB each wait is
// for one piece; 64 KiB still fills the socket's buffer in one call.
inline constexpr uint32_t kMaxSendChunk = 64u << 10;
// Bytes a stream asks the socket for at once when the reader wants fewer. A
// list reply holds two short messages per report, each read as a code, a
// length and a payload; one receive per part made a list of 5,000 reports
// cost 30,000 system calls. 64 KiB takes hundreds of messages per call and is
// allocated once per connection.
inline constexpr uint32_t kReadAheadBytes = 64u << 10;

// The outbox's sender: how long waiting reports rest between tries, a
// minute, so that a tester whose server is back sees them go soon while an
// unreachable server costs one failed connect a minute.
inline constexpr uint32_t kOutboxRetryMs = 60'000;
// A temporary outbox file not written to for an hour is left by a process
// that ended while writing it; writing one takes well under a second.
inline constexpr uint32_t kAbandonedWriteMs = 3'600'000;

// Report browser: how long the worker waits for an image editor it started
// to become idle for input before it launches the next snapshot or ends.
// The wait only lets a single-instance editor finish starting before it is
// handed the next file; a cold start of a large editor takes some seconds, so
// 30 s is ample, and an editor that never idles (stuck, or a console
// program) cannot keep the browser busy for ever.
inline constexpr uint32_t kEditorIdleWaitMs = 30'000;

// The execution log's tail in a report: the lines that led up to what the
// tester saw. 64 KiB holds a thousand lines or more of a typical log, which is
// all anyone reads before the bug, and keeps the package small however long
// the game has run.
inline constexpr uint32_t kMaxExecutionLogEntry = 64u << 10;

// Report server: largest request other than a submission. The other requests
// carry one report name, which the server itself made up (about 25 bytes);
// 64 KiB is far above any of them and small enough to buffer for every
// connection at once.
inline constexpr uint32_t kMaxRequestPayload = 64u << 10;
// Report server: largest "author" entry a package may carry. It holds a title
// typed in one edit line and a Windows user name (at most 256 characters), so
// 64 KiB is generous; the list reply repeats it for every report.
inline constexpr uint32_t kMaxAuthorEntry = 64u << 10;
// Report server: how long a connection may stay silent (between requests or
// in the middle of one) before it is dropped, so that a stalled tester or a
// half-open connection cannot hold a worker for ever. The client gives the
// server the same 30 s.
inline constexpr uint32_t kDefaultIdleTimeoutMs = 30'000;
// Report server: connections served at once, one thread each. A studio has
// tens of testers; the rest wait in the listen backlog instead of failing.
inline constexpr uint32_t kDefaultMaxConnections = 256;
// Report server: connections open at once from one client address. A
// tester's machine holds one connection per exchange and runs one game and
// one report browser, so 16 leaves room for a few machines sharing an address
// behind NAT, while one machine's idle or hung connections can no longer hold
// every serving thread.
inline constexpr uint32_t kDefaultMaxConnectionsPerAddress = 16;
// Report server: on SIGTERM, requests already under way get this long to
// finish before their connections are cut; systemd waits 30 s in our unit.
inline constexpr uint32_t kShutdownGraceMs = 5'000;
// Report server: after refusing a request or ending an exchange the server
// reads and drops what the client still sends for at most this long, so that
// closing with unread bytes does not reset the connection before the client
// has read the answer.
inline constexpr uint32_t kLingerMs = 2'000;

}  // namespace vnscope::limits
