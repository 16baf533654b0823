// The execution log's tail fed the way the window feeds it, over a file the
// input grows, shrinks and rewrites: odd byte counts, byte-order marks, huge
// "keep" values, backlogs skipped with a byte carried over. A literal model
// of the bytes read since the last start decides what each chunk shows.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/monitors/log_tail_ops.h"
#include "monitors/log_tail.h"

namespace vnscope::fuzz {
namespace {

using namespace log_tail;

// Enough for a backlog past what the window keeps (128 KiB).
constexpr size_t kMaxFileBytes = 1 << 18;

// The bytes read since the tail last started over (at 0, or where a skip
// left it), as the file held them when they were read.
struct ReadModel {
  uint64_t origin = 0;
  std::vector<uint8_t> stream;

  uint64_t offset() const { return origin + stream.size(); }
  void StartAt(uint64_t at) {
    origin = at;
    stream.clear();
  }
  // What a chunk adds to the display: the units whose second byte it holds,
  // up to the first NUL unit among them, each LF shown as CR LF.
  // The harness's own loops are not the code under test: no coverage
  // tracing here, which would cost most of the run and add no feature.
  [[clang::no_sanitize("coverage")]] std::u16string_view Read(std::span<const uint8_t> chunk) {
    const size_t before = stream.size();
    stream.insert(stream.end(), chunk.begin(), chunk.end());
    // Written through a pointer: at most two units shown for each read.
    if (shown.size() < chunk.size() + 2) shown.resize(chunk.size() + 2);
    char16_t* out = shown.data();
    const uint8_t* bytes = stream.data();
    for (size_t unit = before / 2; 2 * unit + 1 < stream.size(); ++unit) {
      const auto value = static_cast<char16_t>(bytes[2 * unit] | bytes[2 * unit + 1] << 8);
      if (value == u'\0') break;
      if (value == u'\n') *out++ = u'\r';
      *out++ = value;
    }
    return std::u16string_view(shown.data(), static_cast<size_t>(out - shown.data()));
  }

 private:
  std::vector<char16_t> shown;
};

// Byte for byte: char16_t strings compare unit by unit, far slower here.
bool Same(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * 2) == 0);
}

class Session {
 public:
  void Run(OpReader& in) {
    while (!in.empty()) {
      switch (in.U8() % kOps) {
        case kAppend: Append(in.Bytes(in.U8())); break;
        case kByteOrderMark: Append(std::vector<uint8_t>{0xFF, 0xFE}); break;
        case kAppendMany: AppendMany(in); break;
        case kShrink: Shrink(file_.empty() ? 0 : in.U32() % file_.size()); break;
        case kRewrite: Rewrite(in); break;
        case kPoll: Poll(Keep(in, Waiting(file_.size())), in.U16()); break;
        case kRestart:
          tail_.Restart();
          model_.StartAt(0);
          break;
        default: VirtualSkip(in); break;
      }
    }
  }

 private:
  void Append(std::span<const uint8_t> bytes) {
    if (file_.size() + bytes.size() <= kMaxFileBytes) file_.insert(file_.end(), bytes.begin(), bytes.end());
  }

  // A burst of lines: one unit repeated, an LF every `line` units.
  [[clang::no_sanitize("coverage")]] void AppendMany(OpReader& in) {
    const size_t units = size_t{in.U16()} * 2;
    const uint16_t unit = in.U16();
    const uint8_t line = in.U8();
    if (file_.size() + 2 * units > kMaxFileBytes) return;
    const size_t at = file_.size();
    file_.resize(at + 2 * units);
    uint8_t* out = file_.data() + at;
    for (size_t i = 0; i < units; ++i, out += 2) {
      const uint16_t value = line != 0 && i % line == line - 1u ? u'\n' : unit;
      out[0] = static_cast<uint8_t>(value);
      out[1] = static_cast<uint8_t>(value >> 8);
    }
  }

  void Shrink(size_t size) { file_.resize(size); }

  // New contents of any size: the tail can only tell when they are shorter
  // than what it read, so only then must it start over.
  void Rewrite(OpReader& in) {
    const std::span<const uint8_t> bytes = in.Bytes(in.U8());
    const size_t size = in.U16();
    file_.assign(size, 0);
    for (size_t i = 0; !bytes.empty() && i < size; ++i) file_[i] = bytes[i % bytes.size()];
  }

  // The window's keep, small ones, huge ones near 2^64, and ones that leave
  // a backlog of a few whole chunks and a byte or two over `waiting`.
  static uint64_t Keep(OpReader& in, uint64_t waiting) {
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    switch (in.U8() % kKeeps) {
      case kWindowKeep: return kLogBacklogKeptBytes;
      case kSmallKeep: return in.U16();
      case kAnyKeep: return in.U64();
      case kHugeKeep: return kMax - in.U16();
      default: {
        const uint64_t backlog = kLogChunkBytes * (in.U8() % 4) + in.U8() % 4;
        return waiting - std::min(waiting, backlog);
      }
    }
  }

  uint64_t Waiting(uint64_t size) const { return size > model_.offset() ? size - model_.offset() : 0; }

  // FollowSize and SkipBacklog against a file of `size` bytes.
  void FollowAndSkip(uint64_t size, uint64_t keep) {
    Check(tail_.offset() == model_.offset());
    const bool shrank = size < model_.offset();
    // Only a file shorter than what was read may look rewritten.
    Check(tail_.FollowSize(size) == shrank);
    if (shrank) model_.StartAt(0);
    const uint64_t before = tail_.offset();
    Check(before == model_.offset());
    const uint64_t skipped = tail_.SkipBacklog(size, keep);
    const uint64_t waiting = size > before ? size - before : 0;
    const bool backlog = waiting > keep && waiting - keep > kLogChunkBytes;
    if (!backlog) {
      Check(skipped == 0 && tail_.offset() == before);
      return;
    }
    // Past whole chunks; what remains is inside the file, on a unit
    // boundary, at least `keep` and at most `keep` plus one chunk.
    const uint64_t after = tail_.offset();
    Check(skipped > 0 && after == before + skipped);
    Check(after <= size && after % 2 == 0);
    Check(size - after >= keep && size - after <= keep + kLogChunkBytes);
    model_.StartAt(after);
  }

  // One poll of the window. The first read gets `first` bytes (0: a whole
  // chunk), as when the engine is caught halfway through a write; the rest
  // whole chunks.
  void Poll(uint64_t keep, uint16_t first) {
    const size_t size = file_.size();
    FollowAndSkip(size, keep);
    size_t most = first == 0 ? kLogChunkBytes : 1 + first % kLogChunkBytes;
    for (; tail_.offset() < size; most = kLogChunkBytes) {
      const size_t at = static_cast<size_t>(tail_.offset());
      const std::span<const uint8_t> bytes(file_.data() + at, std::min(most, size - at));
      std::u16string shown;
      tail_.AppendChunk(bytes, &shown);
      Check(Same(shown, model_.Read(bytes)));
      Check(tail_.offset() == model_.offset());
    }
  }

  // A skip against a file far larger than any kept here (a log past 4 GiB);
  // the next real poll then finds the file shorter and starts over.
  void VirtualSkip(OpReader& in) {
    const uint64_t more = in.U64();
    const uint64_t size = model_.offset() + std::min(more, std::numeric_limits<uint64_t>::max() - model_.offset());
    FollowAndSkip(size, Keep(in, Waiting(size)));
  }

  std::vector<uint8_t> file_;
  LogTail tail_;
  ReadModel model_;
};

}  // namespace
}  // namespace vnscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vnscope::fuzz::OpReader in(data, size);
  vnscope::fuzz::Session().Run(in);
  return 0;
}
