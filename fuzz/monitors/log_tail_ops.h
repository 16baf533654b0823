// The operations of the log_tail target's input, shared with its seeds.
#pragma once
#include <cstdint>

namespace vnscope::fuzz::log_tail {

// Each operation is one byte (taken modulo kOps) and its arguments:
// kAppend: U8 n, n bytes | kByteOrderMark | kAppendMany: U16 units/2, U16
// unit, U8 line length | kShrink: U32 size | kRewrite: U8 n, n bytes, U16
// size | kPoll: keep, U16 first read | kRestart | kVirtualSkip: U64 more, keep.
enum Op : uint8_t { kAppend, kByteOrderMark, kAppendMany, kShrink, kRewrite, kPoll, kRestart, kVirtualSkip, kOps };

// A keep is one byte (modulo kKeeps) and its arguments: kWindowKeep |
// kSmallKeep: U16 | kAnyKeep: U64 | kHugeKeep: U16 below 2^64 | kChunksOver:
// U8 whole chunks, U8 bytes of backlog left over the keep.
enum KeepKind : uint8_t { kWindowKeep, kSmallKeep, kAnyKeep, kHugeKeep, kChunksOver, kKeeps };

}  // namespace vnscope::fuzz::log_tail
