// Bounds-checked little-endian reads of file bytes.
#include "ByteView.h"

#include "Errors.h"

namespace korvane {

std::string BeyondEndMessage(std::string_view what, std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
  std::string message = "The file ends before ";
  message += what;
  message += " (" + std::to_string(count) + (count == 1 ? " byte" : " bytes") + " at offset " + std::to_string(offset) +
             "; the file has " + std::to_string(size) + " bytes)";
  return message;
}

const std::uint8_t* TByteView::Require(std::uint64_t offset, std::uint64_t count, std::string_view what) const {
  if (!Contains(offset, count))
    throw TFormatError(BeyondEndMessage(what, offset, count, FSize));
  return Bytes(offset, count);
}

[[gnu::noinline, gnu::cold]] void TByteView::FailBeyondEnd(std::uint64_t offset, std::uint64_t count,
                                                           const std::string& what) const {
  throw TFormatError(BeyondEndMessage(what, offset, count, FSize));
}

std::uint8_t TByteView::ReadByte(std::uint64_t offset, std::string_view what) const {
  return *Require(offset, 1, what);
}

std::uint16_t TByteView::ReadWord(std::uint64_t offset, std::string_view what) const {
  return LoadWord(Require(offset, 2, what));
}

std::uint32_t TByteView::ReadDWord(std::uint64_t offset, std::string_view what) const {
  return LoadDWord(Require(offset, 4, what));
}

std::uint64_t TByteView::ReadQWord(std::uint64_t offset, std::string_view what) const {
  return LoadValue<std::uint64_t>(Require(offset, 8, what));
}

} // namespace korvane
