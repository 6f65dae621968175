// The memory image of a PE32 file laid out by RVA, and its base relocation.
#include "LoadedImage.h"

#include <algorithm>
#include <cstring>

#include "Errors.h"
#include "Numbers.h"

namespace korvane {

namespace {

constexpr std::uint64_t RvaLimit = std::uint64_t{1} << 32;
constexpr std::uint32_t PageSize = 4096;
// No name in a real file comes near this; a longer run of bytes without a
// NUL is refused before it is copied.
constexpr std::size_t MaxTextLength = std::size_t{16} << 20;

std::uint32_t ReadSizeOfImage(const TByteView& file, std::uint64_t peOffset) {
  return file.ReadDWord(peOffset + TImageLayout::SizeOfImage, "the optional header field SizeOfImage");
}

std::uint32_t Load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
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

std::string RvaText(std::uint64_t rva) { return Hex(rva) + "H"; }

void AppendShownText(std::string& line, std::string_view text) {
  if (text.find('\n') == std::string_view::npos && text.find('\r') == std::string_view::npos) {
    line.append(text);
    return;
  }
  for (const char c : text) {
    if (c == '\n')
      line.append("\\n");
    else if (c == '\r')
      line.append("\\r");
    else
      line += c;
  }
}

TLoadedImage::TLoadedImage(const TByteView& file, std::uint64_t peOffset)
    : FReservation(ReadSizeOfImage(file, peOffset)), FSize(ReadSizeOfImage(file, peOffset)) {
  const std::uint32_t imageBase =
      file.ReadDWord(peOffset + TImageLayout::ImageBase, "the optional header field ImageBase");
  FDelta = static_cast<std::uint32_t>(FReservation.Base()) - imageBase;

  const std::uint32_t sizeOfHeaders =
      file.ReadDWord(peOffset + TImageLayout::SizeOfHeaders, "the optional header field SizeOfHeaders");
  // A region of length 0 is skipped wherever it points.
  if (sizeOfHeaders != 0) {
    if (sizeOfHeaders > FSize)
      throw TFormatError(RegionMessage("header region", 0, sizeOfHeaders, FSize));
    if (!file.Contains(0, sizeOfHeaders))
      throw TFormatError(BeyondEndMessage("the headers (SizeOfHeaders)", 0, sizeOfHeaders, file.Size()));
    LayRegion(0, sizeOfHeaders, file.Data(), false);
  }

  const std::uint16_t sections =
      file.ReadWord(peOffset + TImageLayout::NumberOfSections, "the file header field NumberOfSections");
  const std::uint16_t optionalSize =
      file.ReadWord(peOffset + TImageLayout::SizeOfOptionalHeader, "the file header field SizeOfOptionalHeader");
  const std::uint64_t table = peOffset + 24 + optionalSize;
  for (std::uint32_t i = 0; i < sections; ++i) {
    const std::uint64_t header = table + TImageLayout::SectionHeaderSize * i;
    const std::string what = "section header " + Decimal(i + 1);
    const std::uint32_t virtualSize = file.ReadDWord(header + 8, what + " (VirtualSize)");
    const std::uint32_t virtualAddress = file.ReadDWord(header + 12, what + " (VirtualAddress)");
    const std::uint32_t sizeOfRawData = file.ReadDWord(header + 16, what + " (SizeOfRawData)");
    const std::uint32_t pointerToRawData = file.ReadDWord(header + 20, what + " (PointerToRawData)");
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

const TLoadedImage::TSegment* TLoadedImage::Find(std::uint32_t rva) const {
  for (const TSegment* recent : FRecent)
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

void TLoadedImage::ForgetRecent() const {
  for (const TSegment*& recent : FRecent)
    recent = nullptr;
}

[[gnu::noinline, gnu::cold]] void TLoadedImage::FailRead(std::uint64_t rva, std::uint64_t count,
                                                          std::string_view what) const {
  throw TFormatError("The image has no readable bytes for " + std::string(what) + " (" + Decimal(count) +
                     (count == 1 ? " byte" : " bytes") + " at RVA " + RvaText(rva) + ")");
}

std::uint8_t TLoadedImage::ByteAt(std::uint32_t rva, std::string_view what) const {
  const TSegment* segment = Find(rva);
  if (segment == nullptr)
    FailRead(rva, 1, what);
  if (MustApply(*segment, rva, 1)) {
    ApplyPending();
    segment = Find(rva);
  }
  return segment->Data == nullptr ? 0 : segment->Data[rva - segment->Start];
}

std::uint16_t TLoadedImage::ReadWord(std::uint64_t wideRva, std::string_view what) const {
  if (wideRva > RvaLimit - 2)
    FailRead(wideRva, 2, what);
  const auto rva = static_cast<std::uint32_t>(wideRva);
  const TSegment* segment = Find(rva);
  if (segment != nullptr && segment->End - rva >= 2 && !MustApply(*segment, rva, 2)) {
    if (segment->Data == nullptr)
      return 0;
    const std::uint8_t* p = segment->Data + (rva - segment->Start);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
  }
  // The value straddles two regions, or its first byte lies in none.
  if (segment == nullptr || Find(rva + 1) == nullptr)
    FailRead(rva, 2, what);
  return static_cast<std::uint16_t>(ByteAt(rva, what) | (ByteAt(rva + 1, what) << 8));
}

std::uint32_t TLoadedImage::ReadDWord(std::uint64_t wideRva, std::string_view what) const {
  if (wideRva > RvaLimit - 4)
    FailRead(wideRva, 4, what);
  const auto rva = static_cast<std::uint32_t>(wideRva);
  const TSegment* segment = Find(rva);
  if (segment != nullptr && segment->End - rva >= 4 && !MustApply(*segment, rva, 4))
    return segment->Data == nullptr ? 0 : Load32(segment->Data + (rva - segment->Start));
  std::uint8_t bytes[4];
  for (std::uint32_t i = 0; i < 4; ++i) {
    if (Find(rva + i) == nullptr)
      FailRead(rva, 4, what);
    bytes[i] = ByteAt(rva + i, what);
  }
  return Load32(bytes);
}

std::string_view TLoadedImage::ReadText(std::uint64_t rva, std::string_view what, std::string& buffer) const {
  buffer.clear();
  std::uint64_t position = rva;
  for (;;) {
    const TSegment* segment = position < RvaLimit ? Find(static_cast<std::uint32_t>(position)) : nullptr;
    if (segment == nullptr)
      FailText(what, rva, "runs into bytes the image does not hold (at RVA " + RvaText(position) + ")");
    const auto available = static_cast<std::size_t>(segment->End - position);
    const auto* from = segment->Data == nullptr
                           ? nullptr
                           : reinterpret_cast<const char*>(segment->Data + (position - segment->Start));
    const void* nul = from == nullptr ? nullptr : std::memchr(from, 0, available);
    const std::size_t length =
        from == nullptr ? 0 : nul == nullptr ? available : static_cast<std::size_t>(static_cast<const char*>(nul) - from);
    if (MustApply(*segment, position, nul == nullptr && from != nullptr ? length : length + 1)) {
      // Relocated bytes would change the text: make them, then start again.
      ApplyPending();
      buffer.clear();
      position = rva;
      continue;
    }
    if (from == nullptr)
      return buffer;
    if (buffer.size() + length > MaxTextLength)
      FailText(what, rva, "is longer than " + Decimal(MaxTextLength) + " bytes");
    if (nul != nullptr && buffer.empty())
      return std::string_view(from, length);
    buffer.append(from, length);
    if (nul != nullptr)
      return buffer;
    position = segment->End;
  }
}

std::uint8_t* TLoadedImage::WritableByte(std::uint32_t rva) const {
  const TSegment* found = Find(rva);
  if (!found->Owned) {
    // Copy the part of the segment inside this page, so that writes cost
    // memory in proportion to the bytes relocated, not to the regions.
    const TSegment original = *found;
    const std::uint64_t pageStart = rva / PageSize * std::uint64_t{PageSize};
    const std::uint64_t start = std::max<std::uint64_t>(original.Start, pageStart);
    const std::uint64_t end = std::min<std::uint64_t>(original.End, pageStart + PageSize);
    auto copy = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(end - start));
    if (original.Data != nullptr)
      std::memcpy(copy.get(), original.Data + (start - original.Start), static_cast<std::size_t>(end - start));
    FSegments.erase(original.Start);
    if (start > original.Start)
      FSegments.emplace(original.Start, TSegment{original.Start, start, original.Data, original.Writable, false});
    if (end < original.End) {
      TSegment right = original;
      right.Start = static_cast<std::uint32_t>(end);
      if (right.Data != nullptr)
        right.Data += end - original.Start;
      FSegments.emplace(right.Start, right);
    }
    FSegments.emplace(static_cast<std::uint32_t>(start),
                      TSegment{static_cast<std::uint32_t>(start), end, copy.get(), true, true});
    FCopies.push_back(std::move(copy));
    ForgetRecent();
    found = Find(rva);
  }
  return const_cast<std::uint8_t*>(found->Data) + (rva - found->Start);
}

// The target was tested when it was recorded: its 4 bytes are writable.
void TLoadedImage::AddToDWord(std::uint32_t rva, std::uint32_t delta) const {
  const TSegment* segment = Find(rva);
  if (segment->End - rva < 4 || !segment->Owned) {
    for (std::uint32_t i = 0; i < 4; ++i)
      WritableByte(rva + i);
    segment = Find(rva);
  }
  if (segment->End - rva >= 4) {
    auto* p = const_cast<std::uint8_t*>(segment->Data) + (rva - segment->Start);
    const std::uint32_t value = Load32(p) + delta;
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
    return;
  }
  // The double word straddles two copies.
  std::uint8_t* bytes[4];
  for (std::uint32_t i = 0; i < 4; ++i)
    bytes[i] = WritableByte(rva + i);
  const std::uint32_t value = (static_cast<std::uint32_t>(*bytes[0]) | (static_cast<std::uint32_t>(*bytes[1]) << 8) |
                               (static_cast<std::uint32_t>(*bytes[2]) << 16) |
                               (static_cast<std::uint32_t>(*bytes[3]) << 24)) +
                              delta;
  for (std::uint32_t i = 0; i < 4; ++i)
    *bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void TLoadedImage::RecordTarget(std::uint64_t wideRva) {
  constexpr std::string_view what = "a base relocation target";
  if (wideRva > RvaLimit - 4)
    FailRead(wideRva, 4, what);
  const auto rva = static_cast<std::uint32_t>(wideRva);
  for (std::uint32_t i = 0; i < 4; ++i) {
    auto* segment = const_cast<TSegment*>(Find(rva + i));
    if (segment == nullptr)
      FailRead(rva, 4, what);
    if (!segment->Writable)
      FailWrite(rva);
    if (!segment->Pending) {
      segment->Pending = true;
      FPendingSegments.push_back(segment);
    }
    // One segment holds the whole double word: no need to look further.
    if (i == 0 && segment->End - rva >= 4)
      break;
  }
  FPendingTargets.push_back(rva);
  FSortedValid = false;
}

bool TLoadedImage::MustApply(const TSegment& segment, std::uint64_t rva, std::uint64_t count) const {
  if (!segment.Pending)
    return false;
  // While relocation still records targets, any pending one may matter.
  if (FRecording)
    return true;
  if (!FSortedValid) {
    FSortedTargets = FPendingTargets;
    std::sort(FSortedTargets.begin(), FSortedTargets.end());
    FSortedValid = true;
  }
  // A target changes its own 4 bytes only: one starting up to 3 bytes
  // before the range may reach into it.
  const std::uint64_t from = rva >= 3 ? rva - 3 : 0;
  const auto first = std::lower_bound(FSortedTargets.begin(), FSortedTargets.end(), from);
  return first != FSortedTargets.end() && *first < rva + count;
}

void TLoadedImage::ApplyPending() const {
  for (TSegment* segment : FPendingSegments)
    segment->Pending = false;
  FPendingSegments.clear();
  FSortedTargets.clear();
  FSortedValid = false;
  const std::vector<std::uint32_t> targets = std::move(FPendingTargets);
  FPendingTargets.clear();
  for (const std::uint32_t target : targets)
    AddToDWord(target, FPendingDelta);
}

void TLoadedImage::ApplyBaseRelocations(std::uint32_t rva, std::uint32_t size, std::uint32_t delta) {
  ApplyPending();
  FPendingDelta = delta;
  FRecording = true;
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
    const std::uint32_t sizeOfBlock = ReadDWord(block + 4, "a base relocation block (SizeOfBlock)");
    // Deliberately quiet: a block without a whole entry ends the pass.
    if (sizeOfBlock < 10)
      return;
    const std::uint64_t count = (sizeOfBlock - 8) / 2;
    std::uint64_t entry = block + 8;
    const std::uint64_t entriesEnd = entry + 2 * count;
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
        // A target recorded in this very segment makes its entries wait for
        // the additions: then they are read through ReadWord.
        while (entry < stretchEnd && !segment->Pending) {
          const std::uint8_t* p = segment->Data + (entry - segment->Start);
          const auto value = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
          entry += 2;
          if ((value >> 12) != 0)
            RecordTarget(std::uint64_t{pageRva} + (value & 0x0FFFu));
        }
        continue;
      }
      // The entry straddles two regions, lies in none, or waits for additions.
      const std::uint16_t value = ReadWord(entry, "a base relocation entry");
      entry += 2;
      if ((value >> 12) != 0)
        RecordTarget(std::uint64_t{pageRva} + (value & 0x0FFFu));
    }
    offset += 8 + 2 * count;
  }
}

void TLoadedImage::Release() {
  FReservation.Release();
  FPendingSegments.clear();
  FPendingTargets.clear();
  FSegments.clear();
  FCopies.clear();
  ForgetRecent();
}

TLoadedImage BuildLoadedImage(const TByteView& file, std::uint64_t peOffset) {
  return TLoadedImage(file, peOffset);
}

void ApplyBaseRelocations(TLoadedImage& image, std::uint32_t rva, std::uint32_t size, std::uint32_t delta) {
  image.ApplyBaseRelocations(rva, size, delta);
}

void ReleaseLoadedImage(TLoadedImage& image) { image.Release(); }

} // namespace korvane
