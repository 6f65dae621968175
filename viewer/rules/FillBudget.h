// How much of a report the viewer may still put into its control: it lives
// in the host's process, and the host's own data must always find room.
// Kept free of Windows types so that the rules can be tested on any system.
#pragma once

#include <cstdint>

namespace korvane {

/// The memory of the process as the fill sees it.
struct TMemoryStatus {
  /// The process's user address space, and the part of it nobody has reserved.
  std::uint64_t AddressSpace = 0;
  std::uint64_t FreeAddressSpace = 0;
  /// The memory the system can commit in all, and what it can still commit.
  std::uint64_t Commit = 0;
  std::uint64_t FreeCommit = 0;
};

/// The viewer's share of the memory while it fills the report control. The
/// host keeps a quarter of its address space and a quarter of the commit
/// limit, whatever the report: Wine's rich edit control does not survive
/// running out of address space, and a host that has none left fails too.
/// What a line costs is learnt from the fill itself: the address space the
/// lines took since the fill began, divided by their number.
class TFillBudget {
public:
  /// The cost of a line until the fill has measured one: above what Wine's
  /// control takes a line (README gives the measure), so that the first
  /// piece never takes more room than was planned.
  static constexpr std::uint64_t FirstBytesPerLine = 8 * 1024;
  /// The least cost a measure may give a line: memory freed during the fill
  /// (the control of the report before) must not make lines look free.
  static constexpr std::uint64_t LeastBytesPerLine = 1024;
  /// Lines to measure before the measure replaces the first estimate.
  static constexpr int MeasuredLines = 1024;

  /// The bytes the viewer may still take: what is left of the address space
  /// and of the commit once the host's reserve is kept; 0 when none.
  static std::uint64_t Room(const TMemoryStatus& status);

  /// A fill begins: the control holds nothing of the report yet.
  void Begin(const TMemoryStatus& status);
  /// lines of the report are in the control since Begin, and status is now.
  void Measure(const TMemoryStatus& status, int lines);
  /// The bytes one more line is expected to take.
  std::uint64_t BytesPerLine() const { return FBytesPerLine; }
  /// How many of the next wanted lines fit in the room there is; besides
  /// itself, a line takes extraBytesPerLine (its RTF text) while it goes in.
  int LinesThatFit(const TMemoryStatus& status, int wanted, std::uint64_t extraBytesPerLine) const;

private:
  std::uint64_t FUsedAtBegin = 0;
  std::uint64_t FBytesPerLine = FirstBytesPerLine;
};

} // namespace korvane
