// The memory image of a PE32 file laid out by RVA, its base relocation, and
// the tested reads through which the export and import listings see it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ByteView.h"
#include "ImageMemory.h"

namespace korvane {

/// Reads of an image at relative virtual addresses. Each read fails with
/// TFormatError when a byte it needs lies in no region of the image (RVA
/// arithmetic past 2^32 included); what names the table for the message.
class TImageReader {
public:
  virtual ~TImageReader() = default;
  // RVAs are taken in 64 bits, so a sum such as a table's RVA plus 4 times
  // an index is tested as it stands, never wrapped to a low RVA.
  virtual std::uint16_t ReadWord(std::uint64_t rva, std::string_view what) const = 0;
  virtual std::uint32_t ReadDWord(std::uint64_t rva, std::string_view what) const = 0;
  /// The bytes from rva up to, not including, the first NUL byte. The view
  /// points into the image, which keeps those bytes for its whole life, or,
  /// when the text spans regions, into buffer (which is then not empty).
  virtual std::string_view ReadText(std::uint64_t rva, std::string_view what, std::string& buffer) const = 0;
  std::string ReadText(std::uint64_t rva, std::string_view what) const {
    std::string buffer;
    return std::string(ReadText(rva, what, buffer));
  }
};

/// Where the image's fields stand in the PE headers (offsets from e_lfanew).
struct TImageLayout {
  static constexpr std::uint64_t NumberOfSections = 6;
  static constexpr std::uint64_t SizeOfOptionalHeader = 20;
  static constexpr std::uint64_t ImageBase = 52;
  static constexpr std::uint64_t SizeOfImage = 80;
  static constexpr std::uint64_t SizeOfHeaders = 84;
  static constexpr std::uint64_t ExportDirectoryRva = 120;
  static constexpr std::uint64_t ImportDirectoryRva = 128;
  static constexpr std::uint64_t BaseRelocationRva = 160;
  static constexpr std::uint64_t BaseRelocationSize = 164;
  static constexpr std::uint64_t SectionHeaderSize = 40;
};

/// The image of a PE32 file: a header region (read-only) and one region per
/// section (readable and writable), the later region holding where regions
/// overlap. Region bytes are read straight from the mapped file, which must
/// outlive the image. Base relocation tests every target when its entry is
/// read, but adds Delta to the bytes only when a read needs them (most
/// targets lie in code that no listing reads); the additions are then made
/// in their order into copies of the pages they touch, so every read sees
/// what an image written in place would hold. Address space of SizeOfImage
/// bytes is reserved for the life of the image and gives its Delta.
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

  std::uint16_t ReadWord(std::uint64_t rva, std::string_view what) const override;
  std::uint32_t ReadDWord(std::uint64_t rva, std::string_view what) const override;
  using TImageReader::ReadText;
  std::string_view ReadText(std::uint64_t rva, std::string_view what, std::string& buffer) const override;

  /// Adds delta to the 32-bit value at every target of the relocation blocks
  /// from rva on, as long as a block starts less than size bytes after rva.
  void ApplyBaseRelocations(std::uint32_t rva, std::uint32_t size, std::uint32_t delta);

  /// Gives the reserved range back; the image is unreadable afterwards.
  void Release();

private:
  // A stretch of one region: its bytes come from Data (the mapped file or a
  // copy the image owns), or are zeros when Data is null.
  struct TSegment {
    std::uint32_t Start = 0;
    std::uint64_t End = 0;
    const std::uint8_t* Data = nullptr;
    bool Writable = false;
    bool Owned = false;
    // A relocation target not yet added lies (partly) in this segment.
    bool Pending = false;
  };

  void LayRegion(std::uint32_t start, std::uint64_t end, const std::uint8_t* data, bool writable);
  const TSegment* Find(std::uint32_t rva) const;
  void ForgetRecent() const;
  std::uint8_t ByteAt(std::uint32_t rva, std::string_view what) const;
  // Tests a relocation target and records it for later.
  void RecordTarget(std::uint64_t rva);
  // Makes the recorded additions, in their order. Reads call it when bytes
  // they need may be changed by a pending target; the image they see is the
  // same as if every addition had been made at once.
  void ApplyPending() const;
  bool MustApply(const TSegment& segment, std::uint64_t rva, std::uint64_t count) const;
  std::uint8_t* WritableByte(std::uint32_t rva) const;
  void AddToDWord(std::uint32_t rva, std::uint32_t delta) const;
  [[noreturn]] void FailRead(std::uint64_t rva, std::uint64_t count, std::string_view what) const;

  platform::TAddressReservation FReservation;
  std::uint32_t FSize = 0;
  std::uint32_t FDelta = 0;
  // Copies of relocated pages and pending targets change what the bytes
  // are made of, never what a read returns: they may change in a const read.
  mutable std::map<std::uint32_t, TSegment> FSegments;
  mutable std::vector<std::unique_ptr<std::uint8_t[]>> FCopies;
  // The segments hit last: a listing reads a few tables in turn.
  static constexpr int CachedSegments = 4;
  mutable const TSegment* FRecent[CachedSegments] = {};
  mutable int FNextRecent = 0;
  mutable std::vector<std::uint32_t> FPendingTargets;
  mutable std::vector<TSegment*> FPendingSegments;
  mutable std::vector<std::uint32_t> FSortedTargets;
  mutable bool FSortedValid = false;
  std::uint32_t FPendingDelta = 0;
  bool FRecording = false;
};

/// Reserves, lays out and returns the image of the file (PE headers at peOffset).
TLoadedImage BuildLoadedImage(const TByteView& file, std::uint64_t peOffset);
void ApplyBaseRelocations(TLoadedImage& image, std::uint32_t rva, std::uint32_t size, std::uint32_t delta);
void ReleaseLoadedImage(TLoadedImage& image);

/// A text read from the image as the report shows it: each line feed becomes
/// the two characters "\n" and each carriage return "\r", so that no name from
/// a file can start a report line of its own.
void AppendShownText(std::string& line, std::string_view text);

/// A number in hexadecimal with the report's "H" suffix, for messages.
std::string RvaText(std::uint64_t rva);

} // namespace korvane
