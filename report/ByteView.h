// Bounds-checked little-endian reads of file bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Field.h"

namespace korvane {

/// The little-endian values at p; the caller has tested that the bytes are there.
inline std::uint16_t LoadWord(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t LoadDWord(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
/// The little-endian value of sizeof(Value) bytes at p; the caller has tested
/// that the bytes are there.
template <typename Value>
Value LoadValue(const std::uint8_t* p) {
  static_assert(sizeof(Value) == 1 || sizeof(Value) == 2 || sizeof(Value) == 4 || sizeof(Value) == 8);
  if constexpr (sizeof(Value) == 1)
    return p[0];
  else if constexpr (sizeof(Value) == 2)
    return LoadWord(p);
  else if constexpr (sizeof(Value) == 4)
    return LoadDWord(p);
  else
    return LoadDWord(p) | (std::uint64_t{LoadDWord(p + 4)} << 32);
}
/// The little-endian value of the count (at most 8) bytes at p, and the
/// lowest count bytes of value stored at p: for a value split between two
/// buffers.
inline std::uint64_t LoadBytes(const std::uint8_t* p, std::uint32_t count) {
  std::uint64_t value = 0;
  for (std::uint32_t i = 0; i < count; ++i)
    value |= std::uint64_t{p[i]} << (8 * i);
  return value;
}
inline void StoreBytes(std::uint8_t* p, std::uint32_t count, std::uint64_t value) {
  for (std::uint32_t i = 0; i < count; ++i)
    p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

/// The bytes of a file that lie past the part a view holds in one piece:
/// they are mapped when a read first needs them.
class TByteSource {
public:
  /// count bytes at offset, which lie inside the file, valid as long as the
  /// source. Raises a failure when the system cannot map them.
  virtual const std::uint8_t* Bytes(std::uint64_t offset, std::uint64_t count) = 0;

protected:
  ~TByteSource() = default;
};

/// A read-only window on the bytes of a file. Every read is checked against
/// the file's size at the point of use; offsets are 64-bit so that no sum of
/// a 32-bit base and a field offset can wrap. The first bytes are held in one
/// piece; a view of a file that is only partly mapped reads the rest from
/// its source.
class TByteView {
public:
  TByteView() = default;
  /// The whole file.
  TByteView(const std::uint8_t* data, std::size_t size) : FData(data), FHeld(size), FSize(size) {}
  /// A file of size bytes whose first held bytes are at data, the rest in rest.
  TByteView(const std::uint8_t* data, std::size_t held, std::uint64_t size, TByteSource& rest)
      : FData(data), FHeld(held), FSize(size), FRest(&rest) {}

  /// The file's size.
  std::uint64_t Size() const { return FSize; }

  /// True when count bytes at offset lie inside the file.
  bool Contains(std::uint64_t offset, std::uint64_t count) const { return offset <= FSize && FSize - offset >= count; }

  /// The count bytes at offset, which the caller has tested with Contains;
  /// valid as long as the file's view.
  const std::uint8_t* Bytes(std::uint64_t offset, std::uint64_t count) const {
    return Held(offset, count) ? FData + offset : FRest->Bytes(offset, count);
  }

  // The what argument names the value for the failure message.
  std::uint8_t ReadByte(std::uint64_t offset, const TReadName& what) const;
  std::uint16_t ReadWord(std::uint64_t offset, const TReadName& what) const;
  std::uint32_t ReadDWord(std::uint64_t offset, const TReadName& what) const;
  std::uint64_t ReadQWord(std::uint64_t offset, const TReadName& what) const;

  /// The field of the record at offset record, read in its width; a failure
  /// names it as the record's name does.
  template <typename Value>
  Value Read(std::uint64_t record, TField<Value> field, const TRecordName& name) const {
    const std::uint64_t offset = record + field.Offset;
    if (Held(offset, sizeof(Value)))
      return LoadValue<Value>(FData + offset);
    if (!Contains(offset, sizeof(Value)))
      FailBeyondEnd(offset, sizeof(Value), name.Field(field.Name));
    return LoadValue<Value>(FRest->Bytes(offset, sizeof(Value)));
  }

private:
  bool Held(std::uint64_t offset, std::uint64_t count) const { return offset <= FHeld && FHeld - offset >= count; }
  const std::uint8_t* Require(std::uint64_t offset, std::uint64_t count, const TReadName& what) const;
  [[noreturn]] void FailBeyondEnd(std::uint64_t offset, std::uint64_t count, const TReadName& what) const;

  const std::uint8_t* FData = nullptr;
  std::size_t FHeld = 0;
  std::uint64_t FSize = 0;
  // Null when the whole file is held.
  TByteSource* FRest = nullptr;
};

/// Message of a read that would pass the end of the file.
std::string BeyondEndMessage(std::string_view what, std::uint64_t offset, std::uint64_t count, std::uint64_t size);

} // namespace korvane
