// The memory image of a PE32 file laid out by RVA, its base relocation, and
// the tested reads through which the export and import listings see it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ByteView.h"
#include "ImageMemory.h"

namespace korvane {

/// Reads of an image at relative virtual addresses. Reads are not const: an
/// image may make what it holds readable as it is read. Each read fails with
/// TFormatError when a byte it needs lies in no region of the image (RVA
/// arithmetic past 2^32 included); what names the table for the message.
class TImageReader {
public:
  virtual ~TImageReader() = default;
  // RVAs are taken in 64 bits, so a sum such as a table's RVA plus 4 times
  // an index is tested as it stands, never wrapped to a low RVA.
  virtual std::uint16_t ReadWord(std::uint64_t rva, std::string_view what) = 0;
  virtual std::uint32_t ReadDWord(std::uint64_t rva, std::string_view what) = 0;
  /// The bytes from rva up to, not including, the first NUL byte. The view
  /// points into the image, which keeps those bytes for its whole life, or,
  /// when the text spans regions, into buffer (which is then not empty).
  virtual std::string_view ReadText(std::uint64_t rva, std::string_view what, std::string& buffer) = 0;
  std::string ReadText(std::uint64_t rva, std::string_view what) {
    std::string buffer;
    return std::string(ReadText(rva, what, buffer));
  }
};

/// What base relocation has cost so far: the tests bound it, whatever the
/// relocation table names.
struct TRelocationWork {
  /// Pages copied so that additions could be made to them.
  std::uint64_t PagesCopied = 0;
  /// Pages whose additions were worked out without keeping them, only to
  /// learn what a double word across their end carries into the next page.
  std::uint64_t PagesReplayed = 0;
  /// Additions made, to copies or to replayed pages.
  std::uint64_t AdditionsMade = 0;
};

/// The base relocation pass stops with a failure rather than record more
/// targets than this, or more blocks with targets than the next value;
/// every target of a real PE32 file fits many times over.
inline constexpr std::uint32_t MaxRelocationTargets = 1u << 24;
inline constexpr std::uint32_t MaxRelocationBlocks = 1u << 20;
/// Nor does it copy more pages for the reads that need relocated bytes.
inline constexpr std::uint32_t MaxRelocatedPages = 8192;

/// The image of a PE32 file: a header region (read-only) and one region per
/// section (readable and writable), the later region holding where regions
/// overlap. Region bytes are read straight from the mapped file, which must
/// outlive the image. Base relocation tests every target when its entry is
/// read, in order, but adds Delta to the bytes of a page only when a read
/// needs that page (most targets lie in code that no listing reads): the
/// additions that touch the page are then made in their order into a copy
/// of it, so every read sees what an image written in place would hold.
/// Address space of SizeOfImage bytes is reserved for the life of the image
/// and gives its Delta.
class TLoadedImage final : public TImageReader {
public:
  /// Lays out the file whose PE headers start at file offset peOffset;
  /// every header field, section header and copied byte is tested here.
  TLoadedImage(const TByteView& file, std::uint64_t peOffset);
  TLoadedImage(const TLoadedImage&) = delete;
  TLoadedImage& operator=(const TLoadedImage&) = delete;

  std::uintptr_t Base() const { return FReservation.Base(); }
  std::uint32_t Size() const { return FSize; }
  /// Base minus the file's ImageBase, modulo 2^32.
  std::uint32_t Delta() const { return FDelta; }

  std::uint16_t ReadWord(std::uint64_t rva, std::string_view what) override;
  std::uint32_t ReadDWord(std::uint64_t rva, std::string_view what) override;
  using TImageReader::ReadText;
  std::string_view ReadText(std::uint64_t rva, std::string_view what, std::string& buffer) override;

  /// Adds delta to the 32-bit value at every target of the relocation blocks
  /// from rva on, as long as a block starts less than size bytes after rva.
  void ApplyBaseRelocations(std::uint32_t rva, std::uint32_t size, std::uint32_t delta);

  const TRelocationWork& RelocationWork() const { return FWork; }

  /// Gives the reserved range back; the image is unreadable afterwards.
  void Release();

private:
  // A stretch of one region: its bytes come from Data (the mapped file or a
  // page copy the image owns), or are zeros when Data is null.
  struct TSegment {
    std::uint32_t Start = 0;
    std::uint64_t End = 0;
    const std::uint8_t* Data = nullptr;
    bool Writable = false;
    // A relocation target touches this segment.
    bool Pending = false;
  };

  // A relocation block with recorded targets: its VirtualAddress, its first
  // target in FTargets, and the next block whose VirtualAddress lies in the
  // same page.
  struct TTargetBlock {
    std::uint32_t VirtualAddress;
    std::uint32_t First;
    std::uint32_t NextInPage;
  };

  // How far the additions to one page have been made: the last block seen in
  // each of the three lists that can reach the page, and the targets done.
  static constexpr std::uint32_t NoBlock = 0xFFFFFFFF;
  struct TPageProgress {
    std::uint32_t LastBlock[3] = {NoBlock, NoBlock, NoBlock};
    std::uint32_t Done = 0;
  };

  // A page that a read needed. Before it is copied, Progress tells how far
  // the targets are known not to touch it.
  struct TPageState {
    TPageProgress Progress;
    std::uint8_t* Copy = nullptr;
  };

  void LayRegion(std::uint32_t start, std::uint64_t end, const std::uint8_t* data, bool writable);
  TSegment* Find(std::uint32_t rva);
  void ForgetRecent();
  std::uint8_t ByteAt(std::uint32_t rva, std::string_view what);
  [[noreturn]] void FailRead(std::uint64_t rva, std::uint64_t count, std::string_view what) const;

  // Tests a relocation target and records it for later.
  void RecordTarget(std::uint32_t blockRva, std::uint16_t entry, bool& blockRecorded);
  // Makes the recorded additions to the pages holding count bytes at rva.
  void NeedBytes(std::uint64_t rva, std::uint64_t count);
  void NeedPage(std::uint32_t page);
  // Makes the additions to the page's bytes from progress on; false when one
  // needs the carry of a double word across the page's start that is not
  // known yet.
  bool AddToPage(std::uint32_t page, std::uint8_t* bytes, TPageProgress& progress);
  // Works out the carries of the double words across the end of page.
  void LearnCarries(std::uint32_t page);
  void FillPage(std::uint32_t page, std::uint8_t* bytes);
  void CopyPage(std::uint32_t page);
  // Calls visit(index, targetRva) for each recorded target from progress on
  // whose 4 bytes reach into the page, in their order; a visit that returns
  // false stops the walk there, and progress then points at that target.
  template <typename Visit>
  bool VisitTargets(std::uint32_t page, TPageProgress& progress, Visit visit);
  void ApplyEverything();
  void ForgetTargets();

  platform::TAddressReservation FReservation;
  std::uint32_t FSize = 0;
  std::uint32_t FDelta = 0;
  // Reads change these: they make page copies, split segments and move the
  // cache of recent segments, never what a read returns.
  std::map<std::uint32_t, TSegment> FSegments;
  std::vector<std::unique_ptr<std::uint8_t[]>> FCopies;
  // The segments hit last: a listing reads a few tables in turn.
  static constexpr int CachedSegments = 4;
  TSegment* FRecent[CachedSegments] = {};
  int FNextRecent = 0;
  // The segment of the last relocation target, while no segment is split.
  TSegment* FLastTargetSegment = nullptr;

  // Recorded relocation targets in their order: bits 11 to 0 are the offset
  // from the block's VirtualAddress; bits 13 and 12 hold, for a target
  // across a page end, its carry into the next page once known (1: none,
  // 2: one).
  std::vector<std::uint16_t> FTargets;
  std::vector<TTargetBlock> FBlocks;
  // Per page of the image: the first and last block whose VirtualAddress
  // lies in it.
  std::vector<std::uint32_t> FPageFirst;
  std::vector<std::uint32_t> FPageLast;
  std::unordered_map<std::uint32_t, TPageState> FPages;
  std::uint32_t FTargetDelta = 0;
  bool FRecording = false;
  TRelocationWork FWork;
};

} // namespace korvane
