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

const std::uint8_t* TByteView::Require(std::uint64_t offset, std::uint64_t count, const TReadName& what) const {
  if (!Contains(offset, count))
    FailBeyondEnd(offset, count, what);
  return Bytes(offset, count);
}

[[gnu::noinline, gnu::cold]] void TByteView::FailBeyondEnd(std::uint64_t offset, std::uint64_t count,
                                                           const TReadName& what) const {
  throw TFormatError(BeyondEndMessage(what.Text(), offset, count, FSize));
}

std::uint8_t TByteView::ReadByte(std::uint64_t offset, const TReadName& what) const {
  return *Require(offset, 1, what);
}

std::uint16_t TByteView::ReadWord(std::uint64_t offset, const TReadName& what) const {
  return LoadWord(Require(offset, 2, what));
}

std::uint32_t TByteView::ReadDWord(std::uint64_t offset, const TReadName& what) const {
  return LoadDWord(Require(offset, 4, what));
}

std::uint64_t TByteView::ReadQWord(std::uint64_t offset, const TReadName& what) const {
  return LoadValue<std::uint64_t>(Require(offset, 8, what));
}

} // namespace korvane
