#include "net/header_list.h"

namespace kit::net {

namespace {
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
} // namespace

bool equals_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string header_list::find(std::string_view name) const {
  for (const auto& e : entries_)
    if (e.first == name) return e.second;
  return {};
}

const std::string* header_list::find_nocase(std::string_view name) const {
  for (const auto& e : entries_)
    if (equals_nocase(e.first, name)) return &e.second;
  return nullptr;
}

bool header_list::contains(std::string_view name) const {
  for (const auto& e : entries_)
    if (e.first == name) return true;
  return false;
}

void header_list::set(std::string_view name, std::string_view value) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->first != name) continue;
    if (value.empty()) {
      entries_.erase(it);
    } else {
      it->second.assign(value);
    }
    return;
  }
  entries_.emplace_back(std::string(name), std::string(value));
}

void header_list::append(const header_list& other) {
  entries_.insert(entries_.end(), other.entries_.begin(), other.entries_.end());
}

} // namespace kit::net
