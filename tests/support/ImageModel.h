// A plain model of the loaded image for the tests and the fuzzer: every byte
// of SizeOfImage held in an array with its access, laid out region by region
// and relocated entry by entry in place, the straightforward way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ByteView.h"
#include "ImageReader.h"

namespace korvane::test {

class TImageModel final : public TImageReader {
public:
  /// Lays out the file; fails (TFormatError) where the image would. The
  /// model costs SizeOfImage bytes twice, so callers keep it small.
  TImageModel(const TByteView& file, std::uint64_t peOffset);

  std::uint16_t ReadWord(std::uint64_t rva, const TReadName& what) override;
  std::uint32_t ReadDWord(std::uint64_t rva, const TReadName& what) override;
  std::uint64_t ReadQWord(std::uint64_t rva, const TReadName& what) override;
  bool Pe32Plus() const override { return FPe32Plus; }
  using TImageReader::ReadText;
  std::string_view ReadText(std::uint64_t rva, const TReadName& what, std::string& buffer) override;
  void ApplyBaseRelocations(std::uint32_t rva, std::uint32_t size, std::uint64_t delta);

  std::uint32_t Size() const { return static_cast<std::uint32_t>(FBytes.size()); }

private:
  enum TAccess : std::uint8_t { None, ReadOnly, ReadWrite };
  std::uint8_t Byte(std::uint64_t rva) const;

  std::vector<std::uint8_t> FBytes;
  std::vector<std::uint8_t> FAccess;
  bool FPe32Plus = false;
};

/// SizeOfImage of the file whose PE headers start at peOffset, or 0 when the
/// headers are too short to hold it.
std::uint32_t SizeOfImageOf(const TByteView& file, std::uint64_t peOffset);

} // namespace korvane::test
