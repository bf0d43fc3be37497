// An ordered list of (name, value) byte strings, duplicates allowed: the header block of a
// request or response, or the trailers of a chunked body.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kit::net {

class header_list {
public:
  using entry = std::pair<std::string, std::string>;

  // Value of the first header named exactly `name`; empty when there is none.
  std::string find(std::string_view name) const;
  // The first header whose name equals `name` ignoring ASCII letter case, or null. Used for
  // the headers that frame a message, which servers send in any letter case.
  const std::string* find_nocase(std::string_view name) const;
  bool contains(std::string_view name) const;
  // Replaces the first header named `name`, or removes it when value is empty; appends
  // (name, value) when there is none, even with an empty value.
  void set(std::string_view name, std::string_view value);
  void add(std::string name, std::string value) { entries_.emplace_back(std::move(name), std::move(value)); }
  void append(const header_list& other);
  void clear() { entries_.clear(); }

  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  const std::vector<entry>& entries() const { return entries_; }

private:
  std::vector<entry> entries_;
};

// Whether a and b are equal ignoring ASCII letter case.
bool equals_nocase(std::string_view a, std::string_view b);

} // namespace kit::net
