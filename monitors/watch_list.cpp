#include "monitors/watch_list.h"

#include <algorithm>

namespace vnscope {

bool WatchList::Add(std::u16string_view name) {
  std::u16string owned(name);
  if (!index_.insert(owned).second) return false;
  names_.push_back(std::move(owned));
  return true;
}

bool WatchList::Remove(std::u16string_view name) {
  const auto found = index_.find(name);
  if (found == index_.end()) return false;
  index_.erase(found);
  names_.erase(std::find(names_.begin(), names_.end(), name));
  return true;
}

bool WatchList::Contains(std::u16string_view name) const { return index_.contains(name); }

void WatchList::Assign(std::span<const std::u16string> names) {
  names_.clear();
  index_.clear();
  for (const std::u16string& name : names) Add(name);
}

std::u16string FormatWatchFile(std::span<const std::u16string> names) {
  std::u16string text;
  for (const std::u16string& name : names) {
    if (name.find_first_of(u"\r\n") != std::u16string::npos) continue;
    text += name;
    text += u"\r\n";
  }
  return text;
}

std::vector<std::u16string> ParseWatchFile(std::u16string_view text) {
  if (!text.empty() && text.front() == u'\xFEFF') text.remove_prefix(1);
  std::vector<std::u16string> names;
  while (!text.empty()) {
    const size_t end = std::min(text.find(u'\n'), text.size());
    std::u16string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (!line.empty()) names.emplace_back(line);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return names;
}

}  // namespace vnscope
