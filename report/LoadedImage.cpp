// The memory image of a PE32 file laid out by RVA, and its reads.
#include "LoadedImage.h"

#include <algorithm>
#include <cstring>

#include "Errors.h"
#include "Numbers.h"
#include "PeFormat.h"

namespace korvane {

namespace {

constexpr std::uint64_t RvaLimit = std::uint64_t{1} << 32;
constexpr std::uint32_t PageSize = ImagePageSize;
// No name in a real file comes near this; a longer run of bytes without a
// NUL is refused before it is copied.
constexpr std::size_t MaxTextLength = std::size_t{16} << 20;

using pe::BaseRelocation;

// The end of the page that holds rva.
constexpr std::uint64_t PageEnd(std::uint64_t rva) { return (rva / PageSize + 1) * PageSize; }

std::uint32_t ReadSizeOfImage(const TByteView& file, std::uint64_t peOffset) {
  return file.Read(peOffset + pe::PeHeaders::OptionalHeader, pe::OptionalHeader::SizeOfImage,
                   pe::OptionalHeader::Record);
}

// Failures are raised from functions of their own, so that the paths that
// do not fail carry none of their message temporaries.
[[noreturn]] [[gnu::noinline, gnu::cold]] void FailText(const TReadName& what, std::uint64_t rva,
                                                        const std::string& problem) {
  throw TFormatError("The text of " + what.Text() + " at RVA " + RvaText(rva) + " " + problem);
}

[[noreturn]] [[gnu::noinline, gnu::cold]] void FailWrite(std::uint32_t rva, std::uint32_t width) {
  throw TFormatError("A base relocation target (" + Decimal(width) + " bytes at RVA " + RvaText(rva) +
                     ") lies outside the sections, where the image may not be written");
}

std::string RegionMessage(std::string_view region, std::uint64_t start, std::uint64_t length,
                          std::uint32_t sizeOfImage) {
  return "The " + std::string(region) + " (" + Decimal(length) + " bytes at RVA " + RvaText(start) +
         ") does not lie inside the image of " + Decimal(sizeOfImage) + " bytes (SizeOfImage)";
}

} // namespace

TLoadedImage::TLoadedImage(const TByteView& file, std::uint64_t peOffset)
    : FReservation(ReadSizeOfImage(file, peOffset)), FSize(ReadSizeOfImage(file, peOffset)) {
  const std::uint64_t fileHeader = peOffset + pe::PeHeaders::FileHeader;
  const std::uint64_t optionalHeader = peOffset + pe::PeHeaders::OptionalHeader;
  FPe32Plus = file.Read(optionalHeader, pe::OptionalHeader::Magic, pe::OptionalHeader::Record) ==
              pe::OptionalHeader::Pe32PlusMagic;
  if (FPe32Plus) {
    const std::uint64_t imageBase =
        file.Read(optionalHeader, pe::OptionalHeader::ImageBase64, pe::OptionalHeader::Record);
    FDelta = std::uint64_t{FReservation.Base()} - imageBase;
  } else {
    const std::uint32_t imageBase =
        file.Read(optionalHeader, pe::OptionalHeader::ImageBase32, pe::OptionalHeader::Record);
    FDelta = static_cast<std::uint32_t>(static_cast<std::uint32_t>(FReservation.Base()) - imageBase);
  }

  const std::uint32_t sizeOfHeaders =
      file.Read(optionalHeader, pe::OptionalHeader::SizeOfHeaders, pe::OptionalHeader::Record);
  // A region of length 0 is skipped wherever it points.
  if (sizeOfHeaders != 0) {
    if (sizeOfHeaders > FSize)
      throw TFormatError(RegionMessage("header region", 0, sizeOfHeaders, FSize));
    if (!file.Contains(0, sizeOfHeaders))
      throw TFormatError(BeyondEndMessage("the headers (SizeOfHeaders)", 0, sizeOfHeaders, file.Size()));
    LayRegion(0, sizeOfHeaders, file.Bytes(0, sizeOfHeaders), false);
  }

  const std::uint16_t sections = file.Read(fileHeader, pe::FileHeader::NumberOfSections, pe::FileHeader::Record);
  const std::uint16_t optionalSize =
      file.Read(fileHeader, pe::FileHeader::SizeOfOptionalHeader, pe::FileHeader::Record);
  const std::uint64_t table = optionalHeader + optionalSize;
  for (std::uint32_t i = 0; i < sections; ++i) {
    const std::uint64_t header = table + pe::SectionHeader::Size * i;
    const std::string what = "section header " + Decimal(i + 1);
    const std::string lead = what + " (";
    const TRecordName field{lead, ")"};
    const std::uint32_t virtualSize = file.Read(header, pe::SectionHeader::VirtualSize, field);
    const std::uint32_t virtualAddress = file.Read(header, pe::SectionHeader::VirtualAddress, field);
    const std::uint32_t sizeOfRawData = file.Read(header, pe::SectionHeader::SizeOfRawData, field);
    const std::uint32_t pointerToRawData = file.Read(header, pe::SectionHeader::PointerToRawData, field);
    const std::uint32_t extent = std::max(virtualSize, sizeOfRawData);
    const std::uint32_t copy = std::min(virtualSize, sizeOfRawData);
    if (extent == 0)
      continue;
    if (std::uint64_t{virtualAddress} + extent > FSize)
      throw TFormatError(RegionMessage("region of " + what, virtualAddress, extent, FSize));
    if (copy != 0 && !file.Contains(pointerToRawData, copy))
      throw TFormatError(BeyondEndMessage("the bytes of " + what, pointerToRawData, copy, file.Size()));
    // Later regions hold where they overlap earlier ones, zero fill included.
    LayRegion(virtualAddress, std::uint64_t{virtualAddress} + extent, nullptr, true);
    if (copy != 0)
      LayRegion(virtualAddress, std::uint64_t{virtualAddress} + copy, file.Bytes(pointerToRawData, copy), true);
  }
}

void TLoadedImage::LayRegion(std::uint32_t start, std::uint64_t end, const std::uint8_t* data, bool writable) {
  ForgetRecent();
  // The parts of earlier segments in front of the new one and behind it stay.
  const auto [first, last] = SplitOut(start, end);
  FSegments.erase(first, last);
  FSegments.emplace(start, TSegment{start, end, data, writable, false});
}

std::pair<TLoadedImage::TSegmentMap::iterator, TLoadedImage::TSegmentMap::iterator>
TLoadedImage::SplitOut(std::uint64_t start, std::uint64_t end) {
  SplitAt(start);
  SplitAt(end);
  const auto at = [this](std::uint64_t rva) {
    return rva < RvaLimit ? FSegments.lower_bound(static_cast<std::uint32_t>(rva)) : FSegments.end();
  };
  return {at(start), at(end)};
}

void TLoadedImage::SplitAt(std::uint64_t rva) {
  if (rva >= RvaLimit)
    return;
  const auto behind = FSegments.upper_bound(static_cast<std::uint32_t>(rva));
  if (behind == FSegments.begin())
    return;
  TSegment& left = std::prev(behind)->second;
  if (left.Start == rva || left.End <= rva)
    return;
  TSegment right = left;
  right.Start = static_cast<std::uint32_t>(rva);
  if (right.Data != nullptr)
    right.Data += rva - left.Start;
  left.End = rva;
  FSegments.emplace_hint(behind, right.Start, right);
}

TLoadedImage::TSegment* TLoadedImage::Find(std::uint32_t rva) {
  for (TSegment* recent : FRecent)
    if (recent != nullptr && rva >= recent->Start && rva < recent->End)
      return recent;
  auto it = FSegments.upper_bound(rva);
  if (it == FSegments.begin())
    return nullptr;
  --it;
  if (rva >= it->second.End)
    return nullptr;
  FRecent[FNextRecent] = &it->second;
  FNextRecent = (FNextRecent + 1) % CachedSegments;
  return &it->second;
}

void TLoadedImage::ForgetRecent() {
  for (TSegment*& recent : FRecent)
    recent = nullptr;
  FLastTargetSegment = nullptr;
}

[[gnu::noinline, gnu::cold]] void TLoadedImage::FailRead(std::uint64_t rva, std::uint64_t count,
                                                         const TReadName& what) const {
  throw TFormatError("The image has no readable bytes for " + what.Text() + " (" + Decimal(count) +
                     (count == 1 ? " byte" : " bytes") + " at RVA " + RvaText(rva) + ")");
}

const TLoadedImage::TSegment* TLoadedImage::ReadySegment(std::uint32_t rva, std::uint64_t count) {
  const TSegment* segment = Find(rva);
  if (segment != nullptr && segment->Pending) {
    FRelocation.NeedBytes(rva, count);
    segment = Find(rva);
  }
  return segment;
}

template <typename Value>
Value TLoadedImage::ReadValue(std::uint64_t wideRva, const TReadName& what) {
  constexpr std::uint32_t count = sizeof(Value);
  if (wideRva > RvaLimit - count)
    FailRead(wideRva, count, what);
  const auto rva = static_cast<std::uint32_t>(wideRva);
  const TSegment* segment = Find(rva);
  if (segment != nullptr && segment->End - rva >= count && segment->Pending)
    segment = ReadySegment(rva, count);
  if (segment != nullptr && segment->End - rva >= count)
    return segment->Data == nullptr ? 0 : LoadValue<Value>(segment->Data + (rva - segment->Start));
  // The value straddles segments, or its first byte lies in none: every
  // byte is tested before any is made up to date.
  for (std::uint32_t i = 0; i < count; ++i)
    if (Find(rva + i) == nullptr)
      FailRead(rva, count, what);
  std::uint8_t bytes[count];
  for (std::uint32_t i = 0; i < count; ++i) {
    segment = ReadySegment(rva + i, 1);
    bytes[i] = segment->Data == nullptr ? 0 : segment->Data[rva + i - segment->Start];
  }
  return LoadValue<Value>(bytes);
}

std::uint16_t TLoadedImage::ReadWord(std::uint64_t rva, const TReadName& what) {
  return ReadValue<std::uint16_t>(rva, what);
}

std::uint32_t TLoadedImage::ReadDWord(std::uint64_t rva, const TReadName& what) {
  return ReadValue<std::uint32_t>(rva, what);
}

std::uint64_t TLoadedImage::ReadQWord(std::uint64_t rva, const TReadName& what) {
  return ReadValue<std::uint64_t>(rva, what);
}

std::string_view TLoadedImage::ReadText(std::uint64_t rva, const TReadName& what, std::string& buffer) {
  buffer.clear();
  std::uint64_t position = rva;
  for (;;) {
    const TSegment* segment = position < RvaLimit ? ReadySegment(static_cast<std::uint32_t>(position), 1) : nullptr;
    if (segment == nullptr)
      FailText(what, rva, "runs into bytes the image does not hold (at RVA " + RvaText(position) + ")");
    // Segments that targets touch are read a page at a time, each with its
    // additions made before it is read.
    const std::uint64_t end = segment->Pending ? std::min(segment->End, PageEnd(position)) : segment->End;
    const auto available = static_cast<std::size_t>(end - position);
    if (segment->Data == nullptr) {
      if (buffer.empty())
        return std::string_view();
      return buffer;
    }
    const auto* from = reinterpret_cast<const char*>(segment->Data + (position - segment->Start));
    const void* nul = std::memchr(from, 0, available);
    const std::size_t length =
        nul == nullptr ? available : static_cast<std::size_t>(static_cast<const char*>(nul) - from);
    if (buffer.size() + length > MaxTextLength)
      FailText(what, rva, "is longer than " + Decimal(MaxTextLength) + " bytes");
    if (nul != nullptr && buffer.empty())
      return std::string_view(from, length);
    buffer.append(from, length);
    if (nul != nullptr)
      return buffer;
    position = end;
  }
}

void TLoadedImage::MarkTarget(std::uint64_t wideRva, std::uint32_t width) {
  constexpr std::string_view what = "a base relocation target";
  if (wideRva > RvaLimit - width)
    FailRead(wideRva, width, what);
  const auto rva = static_cast<std::uint32_t>(wideRva);
  // Targets mostly follow each other in one segment, already tested
  // writable and marked.
  const TSegment* last = FLastTargetSegment;
  if (last != nullptr && rva >= last->Start && last->End >= std::uint64_t{rva} + width)
    return;
  for (std::uint32_t i = 0; i < width; ++i) {
    TSegment* segment = Find(rva + i);
    if (segment == nullptr)
      FailRead(rva, width, what);
    if (!segment->Writable)
      FailWrite(rva, width);
    segment->Pending = true;
    // One segment holds the whole target: no need to look further.
    if (i == 0 && segment->End - rva >= width) {
      FLastTargetSegment = segment;
      break;
    }
  }
}

void TLoadedImage::FillPage(std::uint32_t page, std::uint8_t* bytes) const {
  const std::uint64_t pageStart = std::uint64_t{page} * PageSize;
  const std::uint64_t pageEnd = pageStart + PageSize;
  std::memset(bytes, 0, PageSize);
  auto it = FSegments.upper_bound(static_cast<std::uint32_t>(pageStart));
  if (it != FSegments.begin())
    --it;
  for (; it != FSegments.end() && it->second.Start < pageEnd; ++it) {
    const TSegment& segment = it->second;
    const std::uint64_t start = std::max<std::uint64_t>(segment.Start, pageStart);
    const std::uint64_t end = std::min(segment.End, pageEnd);
    if (start < end && segment.Data != nullptr)
      std::memcpy(bytes + (start - pageStart), segment.Data + (start - segment.Start),
                  static_cast<std::size_t>(end - start));
  }
}

std::uint8_t* TLoadedImage::CopyPage(std::uint32_t page) {
  auto copy = std::make_unique<std::uint8_t[]>(PageSize);
  FillPage(page, copy.get());
  // The segments inside the page now read from the copy; their parts
  // outside it stay as they were.
  const std::uint64_t pageStart = std::uint64_t{page} * PageSize;
  const auto [first, last] = SplitOut(pageStart, pageStart + PageSize);
  for (auto it = first; it != last; ++it) {
    it->second.Data = copy.get() + (it->second.Start - pageStart);
    it->second.Pending = false;
  }
  ForgetRecent();
  std::uint8_t* bytes = copy.get();
  FCopies.push_back(std::move(copy));
  return bytes;
}

TLoadedImage::TEntryRun TLoadedImage::EntryRun(std::uint64_t rva, std::uint64_t end, std::uint8_t (&straddling)[2]) {
  const TSegment* segment = rva < RvaLimit ? Find(static_cast<std::uint32_t>(rva)) : nullptr;
  if (segment != nullptr && segment->End - rva >= 2) {
    std::uint64_t limit = segment->End;
    if (segment->Pending) {
      // A segment with recorded targets: once the entry's page is up to
      // date, a page that no target reaches is read as it stands, until
      // the next target is recorded.
      segment = ReadySegment(static_cast<std::uint32_t>(rva), 2);
      limit = std::min(PageEnd(rva), segment->End);
      if (!segment->Pending || rva + 2 > limit)
        segment = nullptr;
    }
    if (segment != nullptr) {
      const std::uint8_t* bytes = segment->Data == nullptr ? nullptr : segment->Data + (rva - segment->Start);
      return TEntryRun{bytes, rva, std::min(end, rva + (limit - rva) / 2 * 2), segment};
    }
  }
  // The entry straddles two regions or pages, lies in none, or its page has
  // been copied since.
  const std::uint16_t value = ReadWord(rva, "a base relocation entry");
  straddling[0] = static_cast<std::uint8_t>(value);
  straddling[1] = static_cast<std::uint8_t>(value >> 8);
  return TEntryRun{straddling, rva, rva + 2, nullptr};
}

void TLoadedImage::ApplyBaseRelocations(std::uint32_t rva, std::uint32_t size, std::uint64_t delta) {
  FRelocation.BeginPass(delta, size);
  struct TPassEnd {
    TBaseRelocation& Relocation;
    ~TPassEnd() { Relocation.EndPass(); }
  } passEnd{FRelocation};
  // The offset from rva is kept in 64 bits so that a walk that reaches past
  // 2^32 fails on its read instead of wrapping around to low RVAs.
  std::uint64_t offset = 0;
  while (offset < size) {
    const std::uint64_t block = std::uint64_t{rva} + offset;
    const std::uint32_t pageRva = Read(block, BaseRelocation::VirtualAddress, BaseRelocation::Record);
    const std::uint32_t sizeOfBlock = Read(block, BaseRelocation::SizeOfBlock, BaseRelocation::Record);
    // Deliberately quiet: a block without a whole entry ends the pass.
    if (sizeOfBlock < BaseRelocation::MinimumBlockSize)
      return;
    const std::uint64_t count = (sizeOfBlock - BaseRelocation::Size) / BaseRelocation::EntrySize;
    std::uint64_t entry = block + BaseRelocation::Size;
    const std::uint64_t entriesEnd = entry + BaseRelocation::EntrySize * count;
    FRelocation.BeginBlock(pageRva);
    std::uint8_t straddling[BaseRelocation::EntrySize];
    while (entry < entriesEnd) {
      const TEntryRun run = EntryRun(entry, entriesEnd, straddling);
      // A zero-filled stretch holds only entries of type 0, which change
      // nothing.
      if (run.Bytes == nullptr) {
        entry = run.End;
        continue;
      }
      // A target recorded in the run's own segment may change the entries
      // after it: the run ends there.
      bool recorded = false;
      while (entry < run.End && (!recorded || run.Segment == nullptr || !run.Segment->Pending)) {
        const std::uint16_t value = LoadWord(run.Bytes + (entry - run.Start));
        entry += BaseRelocation::EntrySize;
        if (const auto type = static_cast<std::uint16_t>(value >> BaseRelocation::TypeShift); type != 0) {
          const std::uint32_t width = FPe32Plus && type == BaseRelocation::Dir64Type ? 8 : 4;
          MarkTarget(std::uint64_t{pageRva} + (value & BaseRelocation::OffsetMask), width);
          FRelocation.RecordTarget(value, width);
          recorded = true;
        }
      }
    }
    offset += BaseRelocation::Size + BaseRelocation::EntrySize * count;
  }
}

void TLoadedImage::Release() {
  FReservation.Release();
  FRelocation.Forget();
  FSegments.clear();
  FCopies.clear();
  ForgetRecent();
}

} // namespace korvane
