// Values a decoder hands to a script callback, built before any script call so that the
// decoding itself never touches the script runtime: 32-bit integers (the runtime's integer
// push), numbers (doubles), strings, lists (indices 1..n) and records (named fields). The
// records of a list reply stay in the payload (a record_list) until they are pushed.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct lua_State;

namespace kit::phonelink {

class record_list;

struct script_value {
  enum kind_t { integer, number, string, list, record, records };
  kind_t kind = integer;
  int32_t i = 0;
  double n = 0;
  std::string s;
  std::vector<std::string> names;   // record field names, parallel to items
  std::vector<script_value> items;  // list entries or record field values
  std::shared_ptr<record_list> pending;  // records: read from the payload when pushed

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
  static script_value make_records(std::shared_ptr<record_list> list) {
    script_value r;
    r.kind = records;
    r.pending = std::move(list);
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

// Pushes the value onto the script stack (tables for lists and records; for pending
// records the table of the next ones).
void push_script_value(lua_State* L, const script_value& v);

// The pending records among the arguments, or null.
record_list* pending_records(const script_args& args);

} // namespace kit::phonelink
