#include "phonelink/command_bytes_stream.h"

#include <cstring>

CommandBytesStream::CommandBytesStream(uint32_t capacity)
    : buffer_(new uint8_t[capacity ? capacity : 1]), position_(buffer_), free_(capacity), borrowed_(false) {}

CommandBytesStream::CommandBytesStream(uint8_t* borrowed, uint32_t capacity)
    : buffer_(borrowed), position_(borrowed), free_(capacity), borrowed_(true) {}

CommandBytesStream::~CommandBytesStream() {
  if (!borrowed_) delete[] buffer_;
}

void CommandBytesStream::Grow(uint32_t capacity) {
  auto* bigger = new uint8_t[capacity];
  if (used_) std::memcpy(bigger, buffer_, used_);
  if (!borrowed_) delete[] buffer_;
  buffer_ = bigger;
  borrowed_ = false;
  position_ = buffer_ + used_;
  free_ = capacity - used_;
}

void CommandBytesStream::Put(const void* bytes, uint32_t count) {
  if (count) std::memcpy(position_, bytes, count);
  position_ += count;
  used_ += count;
  free_ -= count;
}

void CommandBytesStream::WriteShort(uint16_t value) {
  if (free_ < 2) Grow(used_ + 12);
  uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  Put(b, 2);
}

void CommandBytesStream::WriteInt(uint32_t value) {
  if (free_ < 4) Grow(used_ + 14);
  uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                  static_cast<uint8_t>(value >> 24)};
  Put(b, 4);
}

void CommandBytesStream::WriteString(const char* data, uint32_t length) {
  WriteInt(length);
  if (free_ < length) Grow(used_ + length + 10);
  Put(data, length);
}

void CommandBytesStream::FinishFrame() {
  if (used_ < 6) return;
  uint32_t length = used_ - 6;
  uint8_t b[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length >> 16),
                  static_cast<uint8_t>(length >> 24)};
  std::memcpy(buffer_ + 2, b, 4);
}
