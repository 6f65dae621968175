// The bytes of a file as the report reads them: mapped whole where the
// process has room for that, in windows where it has not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ByteView.h"
#include "Platform.h"

namespace korvane {

/// A read-only view of one open file for one report run. The file is mapped
/// whole when it is at most wholeLimit bytes and the system finds room for
/// it; otherwise its first window of windowBytes is mapped, and every read
/// past it maps a window of its own, kept until the view ends. A report
/// reads the headers, the section table and the sections' raw data, so
/// appended data that no read reaches takes no address space. Construction
/// raises TOsError when the system refuses the mapping or the first window
/// of a file that is not empty; a later window that cannot be mapped fails
/// the read that needed it with the offset, the length and the system's
/// message.
class TFileView final : private TByteSource {
public:
  /// Files mapped whole at most: in a 32-bit process the host's address
  /// space is scarce; a 64-bit one has room for any file.
  static constexpr std::uint64_t WholeLimit = sizeof(void*) >= 8 ? UINT64_MAX : std::uint64_t{64} << 20;
  /// The least length of a window: reads of one table fall into one.
  static constexpr std::uint64_t WindowBytes = std::uint64_t{16} << 20;

  explicit TFileView(const platform::TReadOnlyFile& file, std::uint64_t wholeLimit = WholeLimit,
                     std::uint64_t windowBytes = WindowBytes);
  TFileView(const TFileView&) = delete;
  TFileView& operator=(const TFileView&) = delete;

  /// True for an empty file, which has no bytes and no view.
  bool Empty() const { return FWindows.empty(); }
  /// The file's bytes; valid while this view lives.
  TByteView Bytes() { return Empty() ? TByteView() : TByteView(FFirst, FFirstSize, FMapping.Size(), *this); }
  /// The address space the view takes now.
  std::uint64_t MappedBytes() const;
  /// The windows mapped so far.
  std::size_t WindowCount() const { return FWindows.size(); }
  /// True when the file has shrunk under one of the windows since it was mapped.
  bool Shrank() const;

private:
  const std::uint8_t* Bytes(std::uint64_t offset, std::uint64_t count) override;
  platform::TFileMapping FMapping;
  std::uint64_t FWindowBytes;
  struct TWindow {
    // Where the window starts in the file.
    std::uint64_t Offset;
    std::unique_ptr<platform::TMappedView> View;
  };
  const TWindow& Map(std::uint64_t offset, std::uint64_t count);

  std::vector<TWindow> FWindows;
  const std::uint8_t* FFirst = nullptr;
  std::size_t FFirstSize = 0;
};

} // namespace korvane
