// A plain model of the loaded image for the tests and the fuzzer.
#include "ImageModel.h"

#include <algorithm>
#include <cstring>

#include "Errors.h"

namespace korvane::test {

namespace {

[[noreturn]] void Fail(const char* what) { throw TFormatError(std::string("model: ") + what); }

} // namespace

std::uint32_t SizeOfImageOf(const TByteView& file, std::uint64_t peOffset) {
  return file.Contains(peOffset + 80, 4) ? file.ReadDWord(peOffset + 80, "SizeOfImage") : 0;
}

TImageModel::TImageModel(const TByteView& file, std::uint64_t peOffset) {
  const std::uint32_t size = file.ReadDWord(peOffset + 80, "SizeOfImage");
  if (size == 0)
    Fail("reservation of 0 bytes");
  FPe32Plus = file.ReadWord(peOffset + 24, "Magic") == 0x20B;
  if (FPe32Plus)
    file.ReadQWord(peOffset + 48, "ImageBase");
  else
    file.ReadDWord(peOffset + 52, "ImageBase");
  FBytes.assign(size, 0);
  FAccess.assign(size, None);

  const std::uint32_t headers = file.ReadDWord(peOffset + 84, "SizeOfHeaders");
  if (headers != 0) {
    if (headers > size)
      Fail("header region outside the image");
    if (!file.Contains(0, headers))
      Fail("headers beyond the file");
    std::memcpy(FBytes.data(), file.Bytes(0, headers), headers);
    std::fill(FAccess.begin(), FAccess.begin() + static_cast<std::ptrdiff_t>(headers), ReadOnly);
  }
  const std::uint16_t count = file.ReadWord(peOffset + 6, "NumberOfSections");
  const std::uint64_t table = peOffset + 24 + file.ReadWord(peOffset + 20, "SizeOfOptionalHeader");
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t header = table + 40 * i;
    const std::uint32_t virtualSize = file.ReadDWord(header + 8, "VirtualSize");
    const std::uint32_t virtualAddress = file.ReadDWord(header + 12, "VirtualAddress");
    const std::uint32_t rawSize = file.ReadDWord(header + 16, "SizeOfRawData");
    const std::uint32_t rawPointer = file.ReadDWord(header + 20, "PointerToRawData");
    const std::uint64_t extent = std::max(virtualSize, rawSize);
    const std::uint64_t copy = std::min(virtualSize, rawSize);
    if (extent == 0)
      continue;
    if (virtualAddress + extent > size)
      Fail("section region outside the image");
    std::fill(FAccess.begin() + static_cast<std::ptrdiff_t>(virtualAddress),
              FAccess.begin() + static_cast<std::ptrdiff_t>(virtualAddress + extent), ReadWrite);
    std::fill(FBytes.begin() + static_cast<std::ptrdiff_t>(virtualAddress),
              FBytes.begin() + static_cast<std::ptrdiff_t>(virtualAddress + extent), 0);
    if (copy != 0) {
      if (!file.Contains(rawPointer, copy))
        Fail("section bytes beyond the file");
      std::memcpy(FBytes.data() + virtualAddress, file.Bytes(rawPointer, copy), static_cast<std::size_t>(copy));
    }
  }
}

std::uint8_t TImageModel::Byte(std::uint64_t rva) const {
  if (rva >= FBytes.size() || FAccess[static_cast<std::size_t>(rva)] == None)
    Fail("read outside the regions");
  return FBytes[static_cast<std::size_t>(rva)];
}

std::uint16_t TImageModel::ReadWord(std::uint64_t rva, const TReadName&) {
  return static_cast<std::uint16_t>(Byte(rva) | (Byte(rva + 1) << 8));
}

std::uint32_t TImageModel::ReadDWord(std::uint64_t rva, const TReadName&) {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(Byte(rva + i)) << (8 * i);
  return value;
}

std::uint64_t TImageModel::ReadQWord(std::uint64_t rva, const TReadName& what) {
  return ReadDWord(rva, what) | (std::uint64_t{ReadDWord(rva + 4, what)} << 32);
}

std::string_view TImageModel::ReadText(std::uint64_t rva, const TReadName&, std::string& buffer) {
  buffer.clear();
  for (;; ++rva) {
    const std::uint8_t byte = Byte(rva);
    if (byte == 0)
      return buffer;
    buffer += static_cast<char>(byte);
  }
}

void TImageModel::ApplyBaseRelocations(std::uint32_t rva, std::uint32_t size, std::uint64_t delta) {
  std::uint64_t p = rva;
  while (p - rva < size) {
    const std::uint32_t page = ReadDWord(p, "");
    const std::uint32_t blockSize = ReadDWord(p + 4, "");
    if (blockSize < 10)
      return;
    const std::uint64_t count = (blockSize - 8) / 2;
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint16_t entry = ReadWord(p + 8 + 2 * i, "");
      if ((entry >> 12) == 0)
        continue;
      const std::uint64_t target = std::uint64_t{page} + (entry & 0x0FFF);
      // A PE32+ image's DIR64 entries add to 8 bytes, the rest to 4.
      const bool wide = FPe32Plus && (entry >> 12) == 10;
      const std::uint64_t value = wide ? ReadQWord(target, "") + delta
                                       : std::uint64_t{ReadDWord(target, "") + static_cast<std::uint32_t>(delta)};
      for (std::uint32_t b = 0; b < (wide ? 8u : 4u); ++b) {
        const auto at = static_cast<std::size_t>(target + b);
        if (FAccess[at] != ReadWrite)
          Fail("write outside the sections");
        FBytes[at] = static_cast<std::uint8_t>(value >> (8 * b));
      }
    }
    p += 8 + 2 * count;
  }
}

} // namespace korvane::test
