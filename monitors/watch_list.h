// The variables a tester follows: full names in the order they were added,
// each once. Names stay in the list while the table lacks them, so that a
// watch survives a script that drops a variable for a while.
#pragma once
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vnscope {

class WatchList {
 public:
  // Appends `name`; false when it is already watched.
  bool Add(std::u16string_view name);
  // False when `name` was not watched.
  bool Remove(std::u16string_view name);
  bool Contains(std::u16string_view name) const;
  // Replaces the list, keeping the first of repeated names.
  void Assign(std::span<const std::u16string> names);

  const std::vector<std::u16string>& names() const { return names_; }
  bool empty() const { return names_.empty(); }

 private:
  std::vector<std::u16string> names_;
  // Looked up by view, without copying the name.
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view name) const { return std::hash<std::u16string_view>{}(name); }
  };
  std::unordered_set<std::u16string, NameHash, std::equal_to<>> index_;  // the same names
};

// The watch file's text: each name followed by CR LF. A name holding a line
// break of its own cannot be written as one line and is left out (it stays
// watched until the library unloads).
std::u16string FormatWatchFile(std::span<const std::u16string> names);

// The names of a watch file's text: one a line, LF or CR LF, a leading byte
// order mark dropped, empty lines skipped.
std::vector<std::u16string> ParseWatchFile(std::u16string_view text);

}  // namespace vnscope
