// Following the engine's execution log: UTF-16LE text with LF line ends,
// read as it grows in chunks and turned into text for an edit control.
// Platform-free: the window reads the file and feeds the bytes here.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vnscope {

// One read of the file: 1023 UTF-16 units, so that a terminating NUL unit
// still fits a 1024-unit buffer. A NUL unit ends what a chunk shows.
constexpr size_t kLogChunkBytes = 2046;

// Most recent units the log window always keeps shown: about 16,000 lines
// of a typical log, the history a tester scrolls back through.
constexpr size_t kLogKeptUnits = size_t{1} << 20;

// Most units the log window shows. A line break shows as two units, so a
// file below kLogKeptUnits units is always shown whole. Past this the window
// drops its oldest lines, down to kLogKeptUnits, under a first line saying
// that the earlier lines are in the file; dropping a million units at once
// keeps that rare, since an edit control under Wine takes a fraction of a
// second for any change at its top.
constexpr size_t kLogDisplayLimitUnits = 2 * kLogKeptUnits;

// Unread bytes the window reads when it falls further behind (a burst, or a
// long file named at once): the kept units and room for the partial line
// the skip lands in. What lies before would be dropped from the display
// anyway, and reading it would stall the window.
constexpr uint64_t kLogBacklogKeptBytes = 2 * (kLogKeptUnits + kLogKeptUnits / 8);

// Most units appended in one window message. A burst is shown in slices of
// this size, each in a message of its own, so the window keeps answering
// between them (a slice costs a few tens of milliseconds).
constexpr size_t kLogAppendSliceUnits = 8 * 1024;

// Where the monitor stands in the file it follows. Offsets are 64-bit: a log
// may pass 2 GiB in a long session.
class LogTail {
 public:
  // Starts over at the file's beginning (a new file name, or the same again).
  void Restart();

  // Called with the file's current size before reading: a file that shrank
  // below what was read was rewritten, and is followed again from its start.
  // Returns true when it started over.
  bool FollowSize(uint64_t fileSize);

  // When more than `keepBytes` wait unread, moves past whole chunks so that
  // at most `keepBytes` plus one chunk remain: what is skipped would be
  // trimmed from the display anyway, and reading it would stall the window.
  // The chunk boundaries stay where reading would have put them, except that
  // a byte carried over is dropped with its partner, one byte short of the
  // boundary, so the next read starts on a unit and inside the file. Returns
  // the number of bytes skipped.
  uint64_t SkipBacklog(uint64_t fileSize, uint64_t keepBytes);

  // Takes one chunk read at `offset()` and appends its display text to
  // `display`: everything up to its first NUL unit, with each LF shown as
  // "\r\n". An odd byte at the end is kept and completes the first unit of
  // the next chunk, so later units are never read misaligned.
  void AppendChunk(std::span<const uint8_t> chunk, std::u16string* display);

  // Bytes of the file consumed so far: where the next read starts.
  uint64_t offset() const { return offset_; }

 private:
  uint64_t offset_ = 0;
  std::optional<uint8_t> carry_;
};

}  // namespace vnscope
