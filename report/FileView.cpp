// The bytes of a file as the report reads them.
#include "FileView.h"

#include <algorithm>

#include "Errors.h"
#include "Numbers.h"

namespace korvane {

namespace {

// The windows a read looks through before it maps one of its own, the
// newest first: the reads of one table follow each other.
constexpr std::size_t SearchedWindows = 4;

} // namespace

TFileView::TFileView(const platform::TReadOnlyFile& file, std::uint64_t wholeLimit, std::uint64_t windowBytes)
    : FMapping(file), FWindowBytes(std::max(windowBytes, platform::ViewAlignment)) {
  if (!FMapping.Valid())
    return;
  const std::uint64_t size = FMapping.Size();
  if (size <= wholeLimit && size <= SIZE_MAX) {
    try {
      FWindows.push_back({0, std::make_unique<platform::TMappedView>(FMapping, 0, static_cast<std::size_t>(size))});
    } catch (const TOsError&) {
      // Deliberate: no room for the whole file; windows follow.
    }
  }
  if (FWindows.empty()) {
    const std::uint64_t first = std::min(size, FWindowBytes);
    FWindows.push_back({0, std::make_unique<platform::TMappedView>(FMapping, 0, static_cast<std::size_t>(first))});
  }
  FFirst = FWindows.front().View->Data();
  FFirstSize = FWindows.front().View->Size();
}

std::uint64_t TFileView::MappedBytes() const {
  std::uint64_t bytes = 0;
  for (const TWindow& window : FWindows)
    bytes += window.View->Size();
  return bytes;
}

bool TFileView::Shrank() const {
  return std::any_of(FWindows.begin(), FWindows.end(), [](const TWindow& window) { return window.View->Shrank(); });
}

const std::uint8_t* TFileView::Bytes(std::uint64_t offset, std::uint64_t count) {
  const std::size_t searched = std::min(FWindows.size(), SearchedWindows);
  for (std::size_t i = FWindows.size(); i > FWindows.size() - searched; --i) {
    const TWindow& window = FWindows[i - 1];
    const std::size_t size = window.View->Size();
    if (offset >= window.Offset && offset - window.Offset <= size && size - (offset - window.Offset) >= count)
      return window.View->Data() + (offset - window.Offset);
  }
  const TWindow& window = Map(offset, count);
  return window.View->Data() + (offset - window.Offset);
}

const TFileView::TWindow& TFileView::Map(std::uint64_t offset, std::uint64_t count) {
  const std::uint64_t start = offset - offset % platform::ViewAlignment;
  const std::uint64_t end = std::min(FMapping.Size(), std::max(offset + count, start + FWindowBytes));
  const std::uint64_t length = end - start;
  try {
    if (length > SIZE_MAX)
      throw TOsError(0, "the window is larger than the address space");
    FWindows.push_back(
        {start, std::make_unique<platform::TMappedView>(FMapping, start, static_cast<std::size_t>(length))});
  } catch (const TOsError& error) {
    throw TOsError(error.Code(), "The " + Decimal(count) + " bytes at offset " + Decimal(offset) +
                                     " of the file could not be mapped: " + error.what());
  }
  return FWindows.back();
}

} // namespace korvane
