// Base relocation of a loaded image, made lazily: every target is tested
// when its entry is read, but Delta is added to a page only when a read
// needs that page.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace korvane {

/// The pages in which the additions of base relocation are made.
inline constexpr std::uint32_t ImagePageSize = 4096;

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
/// every target of a real PE file fits many times over.
inline constexpr std::uint32_t MaxRelocationTargets = 1u << 24;
inline constexpr std::uint32_t MaxRelocationBlocks = 1u << 20;
/// Nor does it copy more pages for the reads that need relocated bytes.
inline constexpr std::uint32_t MaxRelocatedPages = 8192;

/// The pages of an image as the image hands them to its base relocation.
class TRelocationPages {
public:
  /// Writes the ImagePageSize bytes of the page, as the image holds them now,
  /// to bytes.
  virtual void FillPage(std::uint32_t page, std::uint8_t* bytes) const = 0;
  /// Makes the page read from a copy of its bytes, which the image keeps;
  /// the copy, where the additions are made.
  virtual std::uint8_t* CopyPage(std::uint32_t page) = 0;

protected:
  ~TRelocationPages() = default;
};

/// The base relocation of one image. The image walks the relocation blocks,
/// tests each target and records it here, in order; when a read needs a
/// page, the additions that touch it are made in that order into a copy of
/// it, so every read sees what an image written in place would hold. A
/// target is a double word (the low 32 bits of Delta are added) or, in a
/// PE32+ image, a quadword (all of Delta). A target across a page end adds
/// the upper part of Delta and its carry to the next page: the carry is
/// learnt from the page below, worked out in a scratch page when that page
/// is not copied.
class TBaseRelocation {
public:
  TBaseRelocation(TRelocationPages& pages, std::uint32_t imageSize) : FPages(pages), FImageSize(imageSize) {}
  TBaseRelocation(const TBaseRelocation&) = delete;
  TBaseRelocation& operator=(const TBaseRelocation&) = delete;

  /// Starts a pass that records targets for the addition of delta, read from
  /// a table of tableSize bytes. The additions of an earlier pass are made
  /// first.
  void BeginPass(std::uint64_t delta, std::uint32_t tableSize);
  /// The blocks of the pass, in order: the targets recorded next belong to a
  /// block whose VirtualAddress is virtualAddress.
  void BeginBlock(std::uint32_t virtualAddress);
  /// Records the target of a relocation entry of the block, of width 4 or
  /// 8 bytes; the image has tested that its bytes may be written.
  void RecordTarget(std::uint16_t entry, std::uint32_t width);
  /// Ends the pass, after a failure too.
  void EndPass() { FRecording = false; }

  /// Makes the recorded additions to the pages holding count bytes at rva.
  void NeedBytes(std::uint64_t rva, std::uint64_t count);

  const TRelocationWork& Work() const { return FWork; }

  /// Drops every recorded target.
  void Forget();

private:
  // A recorded target: the offset from its block's VirtualAddress, whether
  // it is a quadword and, for a target across a page end, what it carries
  // into the next page once that is known. Two bytes a target, as many as
  // its entry.
  struct TTarget {
    std::uint16_t Offset : 12;
    std::uint16_t CarryKnown : 1;
    std::uint16_t CarriesOne : 1;
    std::uint16_t Wide : 1;

    std::uint32_t Width() const { return Wide != 0 ? 8 : 4; }
  };
  // The widest target: how far a target reaches past its offset.
  static constexpr std::uint32_t MaxWidth = 8;

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

  void NeedPage(std::uint32_t page);
  // Makes the additions to the page's bytes from progress on; false when one
  // needs the carry of a double word across the page's start that is not
  // known yet.
  bool AddToPage(std::uint32_t page, std::uint8_t* bytes, TPageProgress& progress);
  // Works out the carries of the double words across the end of page.
  void LearnCarries(std::uint32_t page);
  void CopyPage(std::uint32_t page);
  // Calls visit(index, targetRva) for each recorded target from progress on
  // whose bytes reach into the page, in their order; a visit that returns
  // false stops the walk there, and progress then points at that target.
  template <typename Visit>
  bool VisitTargets(std::uint32_t page, TPageProgress& progress, Visit visit);
  void ApplyEverything();

  TRelocationPages& FPages;
  const std::uint32_t FImageSize;
  std::vector<TTarget> FTargets;
  std::vector<TTargetBlock> FBlocks;
  // Per page of the image: the first and last block whose VirtualAddress
  // lies in it.
  std::vector<std::uint32_t> FPageFirst;
  std::vector<std::uint32_t> FPageLast;
  std::unordered_map<std::uint32_t, TPageState> FPageStates;
  std::uint64_t FDelta = 0;
  bool FRecording = false;
  // The block whose targets are recorded, and whether it has any yet.
  std::uint32_t FBlockRva = 0;
  bool FBlockRecorded = false;
  TRelocationWork FWork;
};

} // namespace korvane
