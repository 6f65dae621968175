// The memory image of a PE32 or PE32+ file laid out by RVA.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ByteView.h"
#include "Field.h"
#include "ImageMemory.h"
#include "ImageReader.h"
#include "Relocation.h"

namespace korvane {

/// The image of a PE32 or PE32+ file: a header region (read-only) and one region per
/// section (readable and writable), the later region holding where regions
/// overlap. Region bytes are read straight from the mapped file, which must
/// outlive the image. The image walks the base relocation table and tests
/// every target; its TBaseRelocation adds Delta to the bytes of a page only
/// when a read needs that page (most targets lie in code that no listing
/// reads), in a copy of the page that the image hands it and then reads
/// from. Address space of SizeOfImage bytes is reserved for the life of the
/// image and gives its Delta.
class TLoadedImage final : public TImageReader, private TRelocationPages {
public:
  /// Lays out the file whose PE headers start at file offset peOffset;
  /// every header field, section header and copied byte is tested here.
  TLoadedImage(const TByteView& file, std::uint64_t peOffset);
  TLoadedImage(const TLoadedImage&) = delete;
  TLoadedImage& operator=(const TLoadedImage&) = delete;

  std::uintptr_t Base() const { return FReservation.Base(); }
  std::uint32_t Size() const { return FSize; }
  /// Base minus the file's ImageBase, modulo 2^32 for PE32, 2^64 for PE32+.
  std::uint64_t Delta() const { return FDelta; }
  bool Pe32Plus() const override { return FPe32Plus; }

  std::uint16_t ReadWord(std::uint64_t rva, const TReadName& what) override;
  std::uint32_t ReadDWord(std::uint64_t rva, const TReadName& what) override;
  std::uint64_t ReadQWord(std::uint64_t rva, const TReadName& what) override;
  using TImageReader::ReadText;
  std::string_view ReadText(std::uint64_t rva, const TReadName& what, std::string& buffer) override;

  /// Adds delta to the value at every target of the relocation blocks from
  /// rva on, as long as a block starts less than size bytes after rva: to
  /// the 64-bit value of a PE32+ image's DIR64 entry, to the 32-bit value of
  /// every other entry whose type is not 0 (its low 32 bits). Every target
  /// is tested here; the additions of an earlier call are made first.
  void ApplyBaseRelocations(std::uint32_t rva, std::uint32_t size, std::uint64_t delta);

  const TRelocationWork& RelocationWork() const { return FRelocation.Work(); }

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
  using TSegmentMap = std::map<std::uint32_t, TSegment>;

  void LayRegion(std::uint32_t start, std::uint64_t end, const std::uint8_t* data, bool writable);
  // Splits the segments at start and end; the segments from start up to end.
  std::pair<TSegmentMap::iterator, TSegmentMap::iterator> SplitOut(std::uint64_t start, std::uint64_t end);
  void SplitAt(std::uint64_t rva);
  TSegment* Find(std::uint32_t rva);
  // The segment that holds rva, with the additions made to the pages of
  // count bytes at rva when targets touch it; null when no segment holds it.
  const TSegment* ReadySegment(std::uint32_t rva, std::uint64_t count);
  void ForgetRecent();
  template <typename Value>
  Value ReadValue(std::uint64_t rva, const TReadName& what);
  [[noreturn]] void FailRead(std::uint64_t rva, std::uint64_t count, const TReadName& what) const;

  // Tests that the width bytes at rva lie in writable regions, and marks
  // their segments as touched by a target.
  void MarkTarget(std::uint64_t rva, std::uint32_t width);
  // The relocation entries from rva on, below end, that read as they stand:
  // Bytes (null: zeros) hold the entry at Start, which is rva, and stay true
  // until a target is recorded while Segment, if any, is marked Pending. An
  // entry that straddles regions or pages is read into straddling.
  struct TEntryRun {
    const std::uint8_t* Bytes;
    std::uint64_t Start;
    std::uint64_t End;
    const TSegment* Segment;
  };
  TEntryRun EntryRun(std::uint64_t rva, std::uint64_t end, std::uint8_t (&straddling)[2]);

  void FillPage(std::uint32_t page, std::uint8_t* bytes) const override;
  std::uint8_t* CopyPage(std::uint32_t page) override;

  platform::TAddressReservation FReservation;
  std::uint32_t FSize = 0;
  std::uint64_t FDelta = 0;
  bool FPe32Plus = false;
  // Reads change these: they make page copies, split segments and move the
  // cache of recent segments, never what a read returns.
  TSegmentMap FSegments;
  std::vector<std::unique_ptr<std::uint8_t[]>> FCopies;
  // The segments hit last: a listing reads a few tables in turn.
  static constexpr int CachedSegments = 4;
  TSegment* FRecent[CachedSegments] = {};
  int FNextRecent = 0;
  // The segment of the last relocation target, while no segment is split.
  TSegment* FLastTargetSegment = nullptr;
  TBaseRelocation FRelocation{*this, FSize};
};

} // namespace korvane
