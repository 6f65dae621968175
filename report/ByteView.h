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

/// A read-only window on bytes of the file. Every read is checked against the
/// window's size at the point of use; offsets are 64-bit so that no sum of a
/// 32-bit base and a field offset can wrap.
class TByteView {
public:
  TByteView() = default;
  TByteView(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}

  const std::uint8_t* Data() const { return FData; }
  std::size_t Size() const { return FSize; }

  /// True when count bytes at offset lie inside the view.
  bool Contains(std::uint64_t offset, std::uint64_t count) const { return offset <= FSize && FSize - offset >= count; }

  // The what argument names the field for the failure message
  // ("the DOS header field e_lfanew").
  std::uint8_t ReadByte(std::uint64_t offset, std::string_view what) const;
  std::uint16_t ReadWord(std::uint64_t offset, std::string_view what) const;
  std::uint32_t ReadDWord(std::uint64_t offset, std::string_view what) const;
  std::uint64_t ReadQWord(std::uint64_t offset, std::string_view what) const;

  /// The field of the record at offset record, read in its width; a failure
  /// names it as name gives it: a TRecordName, or any name with the same
  /// FieldText. The name is composed only for the failure.
  template <typename Value, typename Name>
  Value Read(std::uint64_t record, TField<Value> field, const Name& name) const {
    const std::uint64_t offset = record + field.Offset;
    if (!Contains(offset, sizeof(Value)))
      FailField(offset, sizeof(Value), field.Name, name);
    return LoadValue<Value>(FData + offset);
  }

private:
  void Require(std::uint64_t offset, std::uint64_t count, std::string_view what) const;
  template <typename Name>
  [[noreturn]] [[gnu::noinline, gnu::cold]] void FailField(std::uint64_t offset, std::uint64_t count,
                                                           std::string_view field, const Name& name) const {
    FailBeyondEnd(offset, count, name.FieldText(field));
  }
  [[noreturn]] void FailBeyondEnd(std::uint64_t offset, std::uint64_t count, const std::string& what) const;

  const std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
};

/// Message of a read that would pass the end of the file.
std::string BeyondEndMessage(std::string_view what, std::uint64_t offset, std::uint64_t count, std::uint64_t size);

} // namespace korvane
