// The memory image of a PE32 file laid out by RVA, and its base relocation.
#include "LoadedImage.h"

#include <algorithm>
#include <cstring>

#include "Errors.h"
#include "Numbers.h"
#include "PeFormat.h"

namespace korvane {

namespace {

constexpr std::uint64_t RvaLimit = std::uint64_t{1} << 32;
constexpr std::uint32_t PageSize = 4096;
// No name in a real file comes near this; a longer run of bytes without a
// NUL is refused before it is copied.
constexpr std::size_t MaxTextLength = std::size_t{16} << 20;

constexpr TRecordName FileHeaderField{"the file header field "};
constexpr TRecordName OptionalHeaderField{"the optional header field "};

std::uint32_t ReadSizeOfImage(const TByteView& file, std::uint64_t peOffset) {
  return file.Read(peOffset + pe::PeHeaders::OptionalHeader, pe::OptionalHeader::SizeOfImage, OptionalHeaderField);
}

// Failures are raised from functions of their own, so that the paths that
// do not fail carry none of their message temporaries.
[[noreturn]] [[gnu::noinline, gnu::cold]] void FailText(std::string_view what, std::uint64_t rva,
                                                        const std::string& problem) {
  throw TFormatError("The text of " + std::string(what) + " at RVA " + RvaText(rva) + " " + problem);
}

[[noreturn]] [[gnu::noinline, gnu::cold]] void FailWrite(std::uint32_t rva) {
  throw TFormatError("A base relocation target (4 bytes at RVA " + RvaText(rva) +
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
  const std::uint32_t imageBase = file.Read(optionalHeader, pe::OptionalHeader::ImageBase32, OptionalHeaderField);
  FDelta = static_cast<std::uint32_t>(FReservation.Base()) - imageBase;

  const std::uint32_t sizeOfHeaders = file.Read(optionalHeader, pe::OptionalHeader::SizeOfHeaders, OptionalHeaderField);
  // A region of length 0 is skipped wherever it points.
  if (sizeOfHeaders != 0) {
    if (sizeOfHeaders > FSize)
      throw TFormatError(RegionMessage("header region", 0, sizeOfHeaders, FSize));
    if (!file.Contains(0, sizeOfHeaders))
      throw TFormatError(BeyondEndMessage("the headers (SizeOfHeaders)", 0, sizeOfHeaders, file.Size()));
    LayRegion(0, sizeOfHeaders, file.Data(), false);
  }

  const std::uint16_t sections = file.Read(fileHeader, pe::FileHeader::NumberOfSections, FileHeaderField);
  const std::uint16_t optionalSize = file.Read(fileHeader, pe::FileHeader::SizeOfOptionalHeader, FileHeaderField);
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
      LayRegion(virtualAddress, std::uint64_t{virtualAddress} + copy, file.Data() + pointerToRawData, true);
  }
}

void TLoadedImage::LayRegion(std::uint32_t start, std::uint64_t end, const std::uint8_t* data, bool writable) {
  ForgetRecent();
  auto it = FSegments.upper_bound(start);
  if (it != FSegments.begin()) {
    auto before = std::prev(it);
    TSegment& left = before->second;
    if (left.End > start) {
      // Keep the part of the earlier segment in front of the new one, and
      // its part behind it, if it reaches that far.
      if (left.End > end) {
        TSegment right = left;
        right.Start = static_cast<std::uint32_t>(end);
        if (right.Data != nullptr)
          right.Data += end - left.Start;
        FSegments.emplace(right.Start, right);
      }
      left.End = start;
      if (left.End == left.Start)
        FSegments.erase(before);
    }
  }
  it = FSegments.lower_bound(start);
  while (it != FSegments.end() && it->second.Start < end) {
    TSegment segment = it->second;
    it = FSegments.erase(it);
    if (segment.End > end) {
      if (segment.Data != nullptr)
        segment.Data += end - segment.Start;
      segment.Start = static_cast<std::uint32_t>(end);
      FSegments.emplace(segment.Start, segment);
      break;
    }
  }
  FSegments.emplace(start, TSegment{start, end, data, writable, false});
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
                                                          std::string_view what) const {
  throw TFormatError("The image has no readable bytes for " + std::string(what) + " (" + Decimal(count) +
                     (count == 1 ? " byte" : " bytes") + " at RVA " + RvaText(rva) + ")");
}

std::uint8_t TLoadedImage::ByteAt(std::uint32_t rva, std::string_view what) {
  const TSegment* segment = Find(rva);
  if (segment == nullptr)
    FailRead(rva, 1, what);
  if (segment->Pending) {
    NeedBytes(rva, 1);
    segment = Find(rva);
  }
  return segment->Data == nullptr ? 0 : segment->Data[rva - segment->Start];
}

std::uint16_t TLoadedImage::ReadWord(std::uint64_t wideRva, std::string_view what) {
  if (wideRva > RvaLimit - 2)
    FailRead(wideRva, 2, what);
  const auto rva = static_cast<std::uint32_t>(wideRva);
  const TSegment* segment = Find(rva);
  if (segment != nullptr && segment->End - rva >= 2 && segment->Pending) {
    NeedBytes(rva, 2);
    segment = Find(rva);
  }
  if (segment != nullptr && segment->End - rva >= 2) {
    if (segment->Data == nullptr)
      return 0;
    const std::uint8_t* p = segment->Data + (rva - segment->Start);
    return LoadWord(p);
  }
  // The value straddles two segments, or its first byte lies in none.
  if (segment == nullptr || Find(rva + 1) == nullptr)
    FailRead(rva, 2, what);
  return static_cast<std::uint16_t>(ByteAt(rva, what) | (ByteAt(rva + 1, what) << 8));
}

std::uint32_t TLoadedImage::ReadDWord(std::uint64_t wideRva, std::string_view what) {
  if (wideRva > RvaLimit - 4)
    FailRead(wideRva, 4, what);
  const auto rva = static_cast<std::uint32_t>(wideRva);
  const TSegment* segment = Find(rva);
  if (segment != nullptr && segment->End - rva >= 4 && segment->Pending) {
    NeedBytes(rva, 4);
    segment = Find(rva);
  }
  if (segment != nullptr && segment->End - rva >= 4)
    return segment->Data == nullptr ? 0 : LoadDWord(segment->Data + (rva - segment->Start));
  for (std::uint32_t i = 0; i < 4; ++i)
    if (Find(rva + i) == nullptr)
      FailRead(rva, 4, what);
  std::uint8_t bytes[4];
  for (std::uint32_t i = 0; i < 4; ++i)
    bytes[i] = ByteAt(rva + i, what);
  return LoadDWord(bytes);
}

std::string_view TLoadedImage::ReadText(std::uint64_t rva, std::string_view what, std::string& buffer) {
  buffer.clear();
  std::uint64_t position = rva;
  for (;;) {
    const TSegment* segment = position < RvaLimit ? Find(static_cast<std::uint32_t>(position)) : nullptr;
    if (segment == nullptr)
      FailText(what, rva, "runs into bytes the image does not hold (at RVA " + RvaText(position) + ")");
    std::uint64_t end = segment->End;
    if (segment->Pending) {
      // A page at a time, each with its additions made before it is read.
      NeedBytes(position, 1);
      segment = Find(static_cast<std::uint32_t>(position));
      end = segment->End;
      if (segment->Pending)
        end = std::min<std::uint64_t>(end, (position / PageSize + 1) * PageSize);
    }
    const auto available = static_cast<std::size_t>(end - position);
    if (segment->Data == nullptr) {
      if (buffer.empty())
        return std::string_view();
      return buffer;
    }
    const auto* from = reinterpret_cast<const char*>(segment->Data + (position - segment->Start));
    const void* nul = std::memchr(from, 0, available);
    const std::size_t length = nul == nullptr ? available : static_cast<std::size_t>(static_cast<const char*>(nul) - from);
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

void TLoadedImage::RecordTarget(std::uint32_t blockRva, std::uint16_t entry, bool& blockRecorded) {
  constexpr std::string_view what = "a base relocation target";
  const std::uint64_t wideRva = std::uint64_t{blockRva} + (entry & 0x0FFFu);
  if (wideRva > RvaLimit - 4)
    FailRead(wideRva, 4, what);
  const auto rva = static_cast<std::uint32_t>(wideRva);
  // Targets mostly follow each other in one segment, already tested
  // writable and marked.
  const TSegment* last = FLastTargetSegment;
  if (last == nullptr || rva < last->Start || last->End < std::uint64_t{rva} + 4) {
    for (std::uint32_t i = 0; i < 4; ++i) {
      TSegment* segment = Find(rva + i);
      if (segment == nullptr)
        FailRead(rva, 4, what);
      if (!segment->Writable)
        FailWrite(rva);
      segment->Pending = true;
      // One segment holds the whole double word: no need to look further.
      if (i == 0 && segment->End - rva >= 4) {
        FLastTargetSegment = segment;
        break;
      }
    }
  }
  if (FTargets.size() == MaxRelocationTargets)
    throw TFormatError("The base relocation blocks name more than " + Decimal(MaxRelocationTargets) +
                       " targets; the report stops here");
  if (!blockRecorded) {
    if (FBlocks.size() == MaxRelocationBlocks)
      throw TFormatError("More than " + Decimal(MaxRelocationBlocks) +
                         " base relocation blocks name targets; the report stops here");
    if (FPageFirst.empty()) {
      FPageFirst.assign((FSize - 1) / PageSize + 1, NoBlock);
      FPageLast.assign(FPageFirst.size(), NoBlock);
    }
    // A target lies below SizeOfImage, and its block's VirtualAddress below it.
    const std::uint32_t page = blockRva / PageSize;
    const auto index = static_cast<std::uint32_t>(FBlocks.size());
    FBlocks.push_back(TTargetBlock{blockRva, static_cast<std::uint32_t>(FTargets.size()), NoBlock});
    if (FPageFirst[page] == NoBlock)
      FPageFirst[page] = index;
    else
      FBlocks[FPageLast[page]].NextInPage = index;
    FPageLast[page] = index;
    blockRecorded = true;
  }
  FTargets.push_back(static_cast<std::uint16_t>(entry & 0x0FFFu));
}

template <typename Visit>
bool TLoadedImage::VisitTargets(std::uint32_t page, TPageProgress& progress, Visit visit) {
  // The targets of a block lie within 4098 bytes of its VirtualAddress: they
  // reach into the page only from blocks whose VirtualAddress lies in it or
  // in one of the two pages before it. Each list holds blocks in their
  // order; the last block seen is looked at again, since the block being
  // read may have gained targets since.
  const std::uint64_t pageStart = std::uint64_t{page} * PageSize;
  const std::uint64_t pageEnd = pageStart + PageSize;
  const auto total = static_cast<std::uint32_t>(FTargets.size());
  std::uint32_t next[3];
  for (std::uint32_t i = 0; i < 3; ++i) {
    const std::uint32_t listPage = page - 2 + i;
    if (page + i < 2 || listPage >= FPageFirst.size())
      next[i] = NoBlock;
    else
      next[i] = progress.LastBlock[i] != NoBlock ? progress.LastBlock[i] : FPageFirst[listPage];
  }
  for (;;) {
    std::uint32_t list = 3;
    for (std::uint32_t i = 0; i < 3; ++i)
      if (next[i] != NoBlock && (list == 3 || next[i] < next[list]))
        list = i;
    if (list == 3)
      break;
    const std::uint32_t block = next[list];
    const TTargetBlock& record = FBlocks[block];
    const std::uint32_t last = block + 1 < FBlocks.size() ? FBlocks[block + 1].First : total;
    for (std::uint32_t index = std::max(record.First, progress.Done); index < last; ++index) {
      const std::uint64_t target = std::uint64_t{record.VirtualAddress} + (FTargets[index] & 0x0FFFu);
      if (target + 4 > pageStart && target < pageEnd && !visit(index, static_cast<std::uint32_t>(target))) {
        progress.Done = index;
        progress.LastBlock[list] = block;
        return false;
      }
    }
    progress.Done = std::max(progress.Done, last);
    progress.LastBlock[list] = block;
    next[list] = record.NextInPage;
  }
  progress.Done = total;
  return true;
}

bool TLoadedImage::AddToPage(std::uint32_t page, std::uint8_t* bytes, TPageProgress& progress) {
  const std::uint64_t pageStart = std::uint64_t{page} * PageSize;
  const std::uint64_t delta = FTargetDelta;
  const auto load = [](const std::uint8_t* p, std::uint32_t count) {
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < count; ++i)
      value |= std::uint64_t{p[i]} << (8 * i);
    return value;
  };
  const auto store = [](std::uint8_t* p, std::uint32_t count, std::uint64_t value) {
    for (std::uint32_t i = 0; i < count; ++i)
      p[i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  return VisitTargets(page, progress, [&](std::uint32_t index, std::uint32_t target) {
    if (target < pageStart) {
      // The double word begins below the page: its upper bytes here get the
      // upper part of Delta plus the carry out of its lower bytes.
      const auto below = static_cast<std::uint32_t>(pageStart - target);
      const std::uint32_t carry = (FTargets[index] >> 12) & 3u;
      if (carry == 0)
        return false;
      const std::uint32_t here = 4 - below;
      store(bytes, here, load(bytes, here) + (delta >> (8 * below)) + (carry - 1));
    } else if (target - pageStart > PageSize - 4) {
      // It runs past the page: its lower bytes are here; what they carry
      // into the next page is kept with the target.
      const auto here = static_cast<std::uint32_t>(pageStart + PageSize - target);
      std::uint8_t* p = bytes + (target - pageStart);
      const std::uint64_t sum = load(p, here) + (delta & ((std::uint64_t{1} << (8 * here)) - 1));
      store(p, here, sum);
      FTargets[index] = static_cast<std::uint16_t>((FTargets[index] & 0x0FFFu) | ((1u + (sum >> (8 * here))) << 12));
    } else {
      std::uint8_t* p = bytes + (target - pageStart);
      store(p, 4, load(p, 4) + delta);
    }
    ++FWork.AdditionsMade;
    return true;
  });
}

void TLoadedImage::FillPage(std::uint32_t page, std::uint8_t* bytes) {
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

void TLoadedImage::CopyPage(std::uint32_t page) {
  if (FWork.PagesCopied == MaxRelocatedPages)
    throw TFormatError("The reads of the listings need more than " + Decimal(MaxRelocatedPages) +
                       " relocated pages; the report stops here");
  auto copy = std::make_unique<std::uint8_t[]>(PageSize);
  FillPage(page, copy.get());
  // The segments inside the page now read from the copy; their parts
  // outside it stay as they were.
  const std::uint64_t pageStart = std::uint64_t{page} * PageSize;
  const std::uint64_t pageEnd = pageStart + PageSize;
  std::vector<TSegment> inside;
  auto it = FSegments.upper_bound(static_cast<std::uint32_t>(pageStart));
  if (it != FSegments.begin())
    --it;
  while (it != FSegments.end() && it->second.Start < pageEnd) {
    const TSegment segment = it->second;
    if (segment.End <= pageStart) {
      ++it;
      continue;
    }
    it = FSegments.erase(it);
    const std::uint64_t start = std::max<std::uint64_t>(segment.Start, pageStart);
    const std::uint64_t end = std::min(segment.End, pageEnd);
    if (start > segment.Start)
      FSegments.emplace(segment.Start, TSegment{segment.Start, start, segment.Data, segment.Writable, segment.Pending});
    if (end < segment.End) {
      TSegment right = segment;
      right.Start = static_cast<std::uint32_t>(end);
      if (right.Data != nullptr)
        right.Data += end - segment.Start;
      FSegments.emplace(right.Start, right);
    }
    inside.push_back(TSegment{static_cast<std::uint32_t>(start), end, copy.get() + (start - pageStart),
                              segment.Writable, false});
  }
  for (const TSegment& segment : inside)
    FSegments.emplace(segment.Start, segment);
  ForgetRecent();
  FPages[page].Copy = copy.get();
  FCopies.push_back(std::move(copy));
  ++FWork.PagesCopied;
}

void TLoadedImage::NeedBytes(std::uint64_t rva, std::uint64_t count) {
  if (FTargets.empty())
    return;
  for (std::uint64_t page = rva / PageSize; page <= (rva + count - 1) / PageSize; ++page)
    NeedPage(static_cast<std::uint32_t>(page));
}

void TLoadedImage::NeedPage(std::uint32_t page) {
  TPageState& state = FPages[page];
  if (state.Progress.Done == FTargets.size())
    return;
  if (state.Copy == nullptr) {
    // A page that no target reaches is never copied.
    if (VisitTargets(page, state.Progress, [](std::uint32_t, std::uint32_t) { return false; }))
      return;
    CopyPage(page);
  }
  while (!AddToPage(page, state.Copy, state.Progress))
    LearnCarries(page - 1);
}

void TLoadedImage::LearnCarries(std::uint32_t page) {
  // The carries of a page depend on those into it from the page below, and
  // so on down: the pages are worked out from the lowest one still needed,
  // in a scratch page, unless they are copies already. While targets are
  // still recorded, a page may need this again later: it is then copied,
  // so that its additions are made once.
  std::vector<std::uint32_t> pages{page};
  std::unique_ptr<std::uint8_t[]> scratch;
  while (!pages.empty()) {
    const std::uint32_t current = pages.back();
    TPageState& state = FPages[current];
    // Look for a carry into the page that is not known yet before the page
    // is worked out, so that each page is worked out once.
    const std::uint64_t pageStart = std::uint64_t{current} * PageSize;
    TPageProgress probe = state.Progress;
    if (!VisitTargets(current, probe, [&](std::uint32_t index, std::uint32_t target) {
          return target >= pageStart || (FTargets[index] >> 12) != 0;
        })) {
      pages.push_back(current - 1);
      continue;
    }
    if (state.Copy == nullptr && FRecording)
      CopyPage(current);
    bool done;
    if (state.Copy != nullptr) {
      done = AddToPage(current, state.Copy, state.Progress);
    } else {
      if (!scratch)
        scratch = std::make_unique<std::uint8_t[]>(PageSize);
      FillPage(current, scratch.get());
      ++FWork.PagesReplayed;
      TPageProgress progress = state.Progress;
      done = AddToPage(current, scratch.get(), progress);
    }
    if (done)
      pages.pop_back();
    else
      pages.push_back(current - 1);
  }
}

void TLoadedImage::ApplyEverything() {
  for (const TTargetBlock& block : FBlocks) {
    const std::uint64_t last = std::min<std::uint64_t>((std::uint64_t{block.VirtualAddress} + 0x0FFF + 3) / PageSize,
                                                       FPageFirst.size() - 1);
    for (std::uint64_t page = block.VirtualAddress / PageSize; page <= last; ++page)
      NeedPage(static_cast<std::uint32_t>(page));
  }
}

void TLoadedImage::ForgetTargets() {
  FTargets.clear();
  FBlocks.clear();
  FPageFirst.clear();
  FPageLast.clear();
  FPages.clear();
}

void TLoadedImage::ApplyBaseRelocations(std::uint32_t rva, std::uint32_t size, std::uint32_t delta) {
  // A second pass adds its own Delta: the first one is finished before.
  if (!FTargets.empty()) {
    ApplyEverything();
    ForgetTargets();
  }
  FTargetDelta = delta;
  FRecording = true;
  // Room for the entries a real table of this size holds; a crafted size
  // gets no more than a few MiB before the entries are read.
  FTargets.reserve(std::min<std::size_t>(size / 2, std::size_t{1} << 21));
  struct TRecordingEnd {
    bool& Recording;
    ~TRecordingEnd() { Recording = false; }
  } recordingEnd{FRecording};
  // The offset from rva is kept in 64 bits so that a walk that reaches past
  // 2^32 fails on its read instead of wrapping around to low RVAs.
  std::uint64_t offset = 0;
  while (offset < size) {
    const std::uint64_t block = std::uint64_t{rva} + offset;
    const std::uint32_t pageRva = ReadDWord(block, "a base relocation block (VirtualAddress)");
    const std::uint32_t sizeOfBlock = ReadDWord(block + pe::BaseRelocation::SizeOfBlock, "a base relocation block (SizeOfBlock)");
    // Deliberately quiet: a block without a whole entry ends the pass.
    if (sizeOfBlock < 10)
      return;
    const std::uint64_t count = (sizeOfBlock - 8) / 2;
    std::uint64_t entry = block + pe::BaseRelocation::Size;
    const std::uint64_t entriesEnd = entry + 2 * count;
    bool blockRecorded = false;
    while (entry < entriesEnd) {
      const TSegment* segment = entry < RvaLimit ? Find(static_cast<std::uint32_t>(entry)) : nullptr;
      if (segment != nullptr && segment->End - entry >= 2 && !segment->Pending) {
        // Entries read straight from one segment; a zero-filled stretch holds
        // only entries of type 0, which change nothing.
        const std::uint64_t stretchEnd = std::min(entriesEnd, entry + (segment->End - entry) / 2 * 2);
        if (segment->Data == nullptr) {
          entry = stretchEnd;
          continue;
        }
        // A target recorded in this very segment may change its entries:
        // then they are read through ReadWord.
        while (entry < stretchEnd && !segment->Pending) {
          const std::uint8_t* p = segment->Data + (entry - segment->Start);
          const std::uint16_t value = LoadWord(p);
          entry += 2;
          if ((value >> 12) != 0)
            RecordTarget(pageRva, value, blockRecorded);
        }
        continue;
      }
      if (segment != nullptr && segment->End - entry >= 2) {
        // A segment with recorded targets: once the entry's page is up to
        // date, a page that no target reaches is read as it stands, until
        // the next target is recorded.
        NeedBytes(entry, 2);
        segment = Find(static_cast<std::uint32_t>(entry));
        const std::uint64_t limit = std::min((entry / PageSize + 1) * PageSize, segment->End);
        if (segment->Pending && entry + 2 <= limit) {
          const std::size_t targets = FTargets.size();
          while (entry < entriesEnd && entry + 2 <= limit && FTargets.size() == targets) {
            const std::uint16_t value =
                segment->Data == nullptr ? std::uint16_t{0} : LoadWord(segment->Data + (entry - segment->Start));
            entry += 2;
            if ((value >> 12) != 0)
              RecordTarget(pageRva, value, blockRecorded);
          }
          continue;
        }
      }
      // The entry straddles two regions or pages, lies in none, or its page
      // has been copied since.
      const std::uint16_t value = ReadWord(entry, "a base relocation entry");
      entry += 2;
      if ((value >> 12) != 0)
        RecordTarget(pageRva, value, blockRecorded);
    }
    offset += pe::BaseRelocation::Size + 2 * count;
  }
}

void TLoadedImage::Release() {
  FReservation.Release();
  ForgetTargets();
  FSegments.clear();
  FCopies.clear();
  ForgetRecent();
}

} // namespace korvane
