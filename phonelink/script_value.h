// Values a decoder hands to a script callback, built before any script call so that the
// decoding itself never touches the script runtime: 32-bit integers (the runtime's integer
// push), numbers (doubles), strings, lists (indices 1..n) and records (named fields).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct lua_State;

namespace kit::phonelink {

struct script_value {
  enum kind_t { integer, number, string, list, record };
  kind_t kind = integer;
  int32_t i = 0;
  double n = 0;
  std::string s;
  std::vector<std::string> names;   // record field names, parallel to items
  std::vector<script_value> items;  // list entries or record field values

  static script_value int32(int64_t v) {
    script_value r;
    r.i = static_cast<int32_t>(static_cast<uint32_t>(v));  // low 32 bits, as the runtime's integer push
    return r;
  }
  static script_value num(double v) {
    script_value r;
    r.kind = number;
    r.n = v;
    return r;
  }
  static script_value str(std::string v) {
    script_value r;
    r.kind = string;
    r.s = std::move(v);
    return r;
  }
  static script_value make_list() {
    script_value r;
    r.kind = list;
    return r;
  }
  static script_value make_record() {
    script_value r;
    r.kind = record;
    return r;
  }
  void set(const char* name, script_value v) {
    names.emplace_back(name);
    items.push_back(std::move(v));
  }
  // The field of a record, or null.
  const script_value* field(const std::string& name) const {
    for (size_t k = 0; k < names.size(); ++k)
      if (names[k] == name) return &items[k];
    return nullptr;
  }
};

using script_args = std::vector<script_value>;

// Pushes the value onto the script stack (tables for lists and records).
void push_script_value(lua_State* L, const script_value& v);

} // namespace kit::phonelink
