// The records of one list reply, left in the payload until they are handed to a script:
// each call builds the script table of the next records straight from the bytes, so a
// reply never exists a second time as intermediate values. One table holds at most
// kMaxRecordsPerCall records; a frame with more of them reaches the script in several
// calls, each (5, status, list) like a frame of its own.
#pragma once
#include <cstddef>
#include <cstdint>

#include "phonelink/payload_reader.h"

struct lua_State;

namespace kit::phonelink {

struct script_value;

constexpr size_t kMaxRecordsPerCall = 65536;

// The field layout of a list type; null for types that are not lists.
struct list_layout;
const list_layout* list_layout_of(uint16_t type);

class record_list {
public:
  // records: the payload behind the status byte. The bytes must stay valid while the list
  // is read.
  record_list(const list_layout& layout, uint8_t status, const uint8_t* records, uint32_t size);

  // Whether another complete record follows.
  bool more() const;
  // Bytes not read yet.
  uint32_t left() const { return reader_.left(); }

  // Pushes the table of the next records (possibly none).
  void push_next(lua_State* L);
  // The same records as values.
  script_value next_values();

private:
  template <class Sink>
  void read_next(Sink& sink);

  const list_layout& layout_;
  uint8_t status_;
  payload_reader reader_;
};

} // namespace kit::phonelink
