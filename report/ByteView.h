// Bounds-checked little-endian reads of file bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

/// The little-endian values at p; the caller has tested that the bytes are there.
inline std::uint16_t LoadWord(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t LoadDWord(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
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
  bool Contains(std::uint64_t offset, std::uint64_t count) const {
    return offset <= FSize && FSize - offset >= count;
  }

  // The what argument names the field for the failure message
  // ("the DOS header field e_lfanew").
  std::uint8_t ReadByte(std::uint64_t offset, std::string_view what) const;
  std::uint16_t ReadWord(std::uint64_t offset, std::string_view what) const;
  std::uint32_t ReadDWord(std::uint64_t offset, std::string_view what) const;
  std::uint64_t ReadQWord(std::uint64_t offset, std::string_view what) const;

private:
  void Require(std::uint64_t offset, std::uint64_t count, std::string_view what) const;

  const std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
};

/// Message of a read that would pass the end of the file.
std::string BeyondEndMessage(std::string_view what, std::uint64_t offset, std::uint64_t count,
                             std::uint64_t size);

} // namespace korvane
