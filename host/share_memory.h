// The shared command block through which a later start hands its command line to the
// running instance: 4004 bytes, a 32-bit capacity (4000) then a UTF-16 data area holding
// NUL-terminated command lines back to back, ended by two NULs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/named_mutex.h"
#include "platform/shared_mapping.h"

namespace kit::multiprocess {

class share_memory {
public:
  static constexpr size_t kBlockSize = 4004;
  static constexpr uint32_t kCapacity = 4000;
  static constexpr int kGuardWaitMs = 10000;
  static const char* const kGuardName;
  static const char* const kMappingName;

  enum class mode { client, server };

  share_memory() = default;
  virtual ~share_memory();

  // Client: opens the block of a running instance. Server: creates it (clearing the data
  // area when this call created the guard). True when the block is mapped.
  bool open(mode m);
  void close();
  bool is_open() const { return mapping_.data() != nullptr; }

  // The guard serialises readers and writers of the data area.
  bool lock_guard(int timeout_ms = -1) { return guard_.wait(timeout_ms); }
  void unlock_guard() { guard_.release(); }

  uint32_t capacity() const;
  char16_t* data_area() const;

  virtual void Clear(void* start, size_t bytes);

private:
  platform::named_mutex guard_;
  platform::shared_mapping mapping_;
};

// Appends a command line to the block's list (the caller holds no guard; this takes it).
// Returns false when the line does not fit in the free space and nothing was written.
bool hand_over_command_line(share_memory& block, const std::u16string& command_line);

} // namespace kit::multiprocess
