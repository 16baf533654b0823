#include "monitors/value_history.h"

#include "monitors/decimal.h"

namespace vnscope {

void ValueHistory::Reset(size_t variables) {
  ringOf_.assign(variables, 0);
  rings_.clear();
  highlightEnd_.assign(variables, 0);
  endings_.clear();
}

void ValueHistory::Record(size_t position, int32_t value, ValueArrival when) {
  if (position >= ringOf_.size()) return;
  // Keeps the queue of endings to the last few seconds of changes even when
  // nobody asks; the list repaints after every change anyway.
  Expire(when.tick);
  if (ringOf_[position] == 0) {
    rings_.emplace_back();
    ringOf_[position] = static_cast<uint32_t>(rings_.size());
  }
  Ring& ring = rings_[ringOf_[position] - 1];
  ring.values[ring.next] = {value, when.timeOfDay};
  ring.next = (ring.next + 1) % kValueHistoryDepth;
  if (ring.count < kValueHistoryDepth) ++ring.count;
  // A later change of the same variable moves its end; the earlier entry
  // in endings_ then no longer matches and is passed over when it comes up.
  const uint64_t end = when.tick + kChangeHighlightMs;
  highlightEnd_[position] = end;
  endings_.push_back({end, position});
}

bool ValueHistory::Highlighted(size_t position, uint64_t now) const {
  return position < highlightEnd_.size() && highlightEnd_[position] > now;
}

void ValueHistory::ClearHighlights() {
  for (const Ending& ending : endings_) highlightEnd_[ending.position] = 0;
  endings_.clear();
}

bool ValueHistory::Expire(uint64_t now) {
  bool ended = false;
  while (!endings_.empty() && endings_.front().end <= now) {
    const Ending ending = endings_.front();
    endings_.pop_front();
    if (highlightEnd_[ending.position] != ending.end) continue;
    highlightEnd_[ending.position] = 0;
    ended = true;
  }
  return ended;
}

std::optional<uint64_t> ValueHistory::NextExpiry() const {
  if (endings_.empty()) return std::nullopt;
  return endings_.front().end;
}

std::vector<PastValue> ValueHistory::Past(size_t position) const {
  std::vector<PastValue> past;
  if (position >= ringOf_.size() || ringOf_[position] == 0) return past;
  const Ring& ring = rings_[ringOf_[position] - 1];
  for (size_t i = 1; i <= ring.count; ++i) {
    past.push_back(ring.values[(ring.next + kValueHistoryDepth - i) % kValueHistoryDepth]);
  }
  return past;
}

std::u16string FormatTimeOfDay(uint32_t timeOfDay) {
  const uint32_t fields[] = {timeOfDay / 3600000 % 24, timeOfDay / 60000 % 60, timeOfDay / 1000 % 60};
  std::u16string text;
  for (uint32_t field : fields) {
    if (!text.empty()) text.push_back(u':');
    text.push_back(static_cast<char16_t>(u'0' + field / 10));
    text.push_back(static_cast<char16_t>(u'0' + field % 10));
  }
  const uint32_t millis = timeOfDay % 1000;
  text.push_back(u'.');
  text.push_back(static_cast<char16_t>(u'0' + millis / 100));
  text.push_back(static_cast<char16_t>(u'0' + millis / 10 % 10));
  text.push_back(static_cast<char16_t>(u'0' + millis % 10));
  return text;
}

std::u16string FormatPastValues(const std::vector<PastValue>& past) {
  std::u16string text;
  for (const PastValue& entry : past) {
    if (!text.empty()) text += u"\r\n";
    text += FormatTimeOfDay(entry.timeOfDay);
    text += u"  ";
    AppendDecimal(&text, entry.value);
  }
  return text;
}

}  // namespace vnscope
