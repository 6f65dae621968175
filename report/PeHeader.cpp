// Summary of a Portable Executable's headers.
#include "PeHeader.h"

#include "Numbers.h"
#include "PeFormat.h"

namespace korvane {

namespace {

struct TCharacteristic {
  std::uint16_t Bit;
  const char* Text;
};

constexpr TCharacteristic Characteristics[] = {
    {0x0001, "Relocation information is stripped from file"},
    {0x0002, "The file is executable (there are no unresolved external references)"},
    {0x0004, "Line numbers are stripped from file"},
    {0x0008, "Local symbols are stripped from file"},
    {0x0020, "The application can handle addresses larger than 2 GB"},
    {0x0200, "Debugging information is stored separately in a .DBG file"},
    {0x1000, "System file"},
    {0x2000, "File is a DLL"},
    {0x4000, "File should be run only on a uniprocessor computer"},
};

struct TProcessor {
  std::uint16_t Machine;
  const char* Text;
};

constexpr TProcessor Processors[] = {
    {0x014C, "Intel 386"},   {0x014D, "Intel 486"},
    {0x014E, "Intel 586"},   {0x0162, "MIPS Mark I (R2000, R3000)"},
    {0x0163, "MIPS Mark II (R6000)"}, {0x0166, "MIPS Mark III (R4000)"},
    {0x0184, "DEC Alpha"},   {0x01F0, "IBM PowerPC"},
    {0x0200, "Intel 64"},    {0x8664, "AMD64 (K8)"},
};

constexpr const char* Subsystems[] = {"Unknown",           "Native",          "Windows GUI",
                                      "Windows character", "Unknown",         "OS/2 character",
                                      "Unknown",           "Posix character", "Unknown",
                                      "Windows CE"};

// The TAB counts line the values up in the report's fixed tab grid; a
// further characteristic stands on a line of its own under the first.
constexpr TColumnLabel CharacteristicsLabel{"Characteristics:", 2};
constexpr TColumnLabel RequiredCpuLabel{"Required CPU:", 2};
constexpr TColumnLabel LinkerVersionLabel{"Linker version:", 2};
constexpr TColumnLabel TimeStampLabel{"Time stamp:", 2};
constexpr TColumnLabel ImageBaseLabel{"Image base:", 2};
constexpr TColumnLabel ImageSizeLabel{"Image size:", 2};
constexpr TColumnLabel RequiredOsLabel{"Required OS version:", 1};
constexpr TColumnLabel ImageVersionLabel{"Image version:", 2};
constexpr TColumnLabel SubsystemVersionLabel{"Subsystem version:", 2};
constexpr TColumnLabel SubsystemLabel{"Subsystem:", 2};
constexpr TColumnLabel ChecksumLabel{"Checksum:", 2};
constexpr TColumnLabel CodeSizeLabel{"Code size:", 2};
constexpr TColumnLabel InitializedDataLabel{"Size of initialized data:", 1};
constexpr TColumnLabel UninitializedDataLabel{"Size of uninitialized data:", 1};
constexpr TColumnLabel StackReserveLabel{"Size of stack to reserve:", 1};
constexpr TColumnLabel StackCommitLabel{"Size of stack to commit:", 1};
constexpr TColumnLabel HeapReserveLabel{"Size of local heap to reserve:", 1};
constexpr TColumnLabel HeapCommitLabel{"Size of local heap to commit:", 1};
constexpr TColumnLabel CharacteristicContinued{"", 3};

constexpr TColumnLabel Labels[] = {
    CharacteristicsLabel,
    RequiredCpuLabel,
    LinkerVersionLabel,
    TimeStampLabel,
    ImageBaseLabel,
    ImageSizeLabel,
    RequiredOsLabel,
    ImageVersionLabel,
    SubsystemVersionLabel,
    SubsystemLabel,
    ChecksumLabel,
    CodeSizeLabel,
    InitializedDataLabel,
    UninitializedDataLabel,
    StackReserveLabel,
    StackCommitLabel,
    HeapReserveLabel,
    HeapCommitLabel,
    CharacteristicContinued,
};

using pe::FileHeader;
using pe::OptionalHeader;

constexpr auto F = pe::InFileHeader;
constexpr auto O = pe::InOptionalHeader;

// Reads the fields of the headers at peOffset; PE32 and PE32+ differ only in
// the width of ImageBase and of the stack and heap sizes.
class TPeFields {
public:
  TPeFields(const TByteView& file, std::uint64_t peOffset) : FFile(file), FPeOffset(peOffset) {
    FWide = Word(O(OptionalHeader::Magic), "Magic") == OptionalHeader::Pe32PlusMagic;
  }

  std::uint8_t Byte(std::uint64_t offset, const char* name) const {
    return FFile.ReadByte(FPeOffset + offset, What(name));
  }
  std::uint16_t Word(std::uint64_t offset, const char* name) const {
    return FFile.ReadWord(FPeOffset + offset, What(name));
  }
  std::uint32_t DWord(std::uint64_t offset, const char* name) const {
    return FFile.ReadDWord(FPeOffset + offset, What(name));
  }
  // 32 bits in PE32, 64 bits in PE32+.
  std::uint64_t Natural(std::uint64_t offset, const char* name) const {
    return FWide ? FFile.ReadQWord(FPeOffset + offset, What(name))
                 : FFile.ReadDWord(FPeOffset + offset, What(name));
  }
  std::uint64_t ImageBase() const {
    return Natural(O(FWide ? OptionalHeader::ImageBase64 : OptionalHeader::ImageBase32), "ImageBase");
  }
  // The stack and heap sizes follow each other from SizeOfStackReserve on.
  std::uint64_t StackOrHeap(int index, const char* name) const {
    return Natural(O(OptionalHeader::SizeOfStackReserve) + static_cast<std::uint64_t>(index) * (FWide ? 8 : 4),
                   name);
  }

private:
  static std::string What(const char* name) { return std::string("the PE header field ") + name; }

  const TByteView& FFile;
  std::uint64_t FPeOffset;
  bool FWide = false;
};

std::string Version(std::uint64_t major, std::uint64_t minor) {
  return Decimal(major) + "." + Decimal(minor);
}

} // namespace

std::span<const TColumnLabel> PeHeaderLabels() { return Labels; }

void AppendCharacteristic(std::string& accumulator, std::string_view text) {
  if (!accumulator.empty())
    accumulator.append("\n").append(LabelLead(CharacteristicContinued));
  accumulator += text;
}

std::string_view ProcessorText(std::uint16_t machine) {
  for (const TProcessor& processor : Processors)
    if (processor.Machine == machine)
      return processor.Text;
  return {};
}

std::string_view SubsystemText(std::uint16_t subsystem) {
  return subsystem < std::size(Subsystems) ? Subsystems[subsystem] : "Unknown";
}

void ReportPeHeader(TReportView& view, const TByteView& file, std::uint64_t peOffset,
                    const TDateTimeFormatter& formatter) {
  const TPeFields pe(file, peOffset);

  std::string characteristics;
  const std::uint16_t bits = pe.Word(F(FileHeader::Characteristics), "Characteristics");
  for (const TCharacteristic& characteristic : Characteristics)
    if ((bits & characteristic.Bit) != 0)
      AppendCharacteristic(characteristics, characteristic.Text);
  view.AddLine(LabelLead(CharacteristicsLabel) + characteristics);

  view.AddLine(LabelLead(RequiredCpuLabel).append(ProcessorText(pe.Word(F(FileHeader::Machine), "Machine"))));
  view.AddLine(LabelLead(LinkerVersionLabel) + Version(pe.Byte(O(OptionalHeader::MajorLinkerVersion), "MajorLinkerVersion"),
                                               pe.Byte(O(OptionalHeader::MinorLinkerVersion), "MinorLinkerVersion")));
  view.AddLine(LabelLead(TimeStampLabel) + TimeStampText(pe.DWord(F(FileHeader::TimeDateStamp), "TimeDateStamp"), formatter));
  view.AddLine(LabelLead(ImageBaseLabel) + Hex(pe.ImageBase()) + "H");
  view.AddLine(LabelLead(ImageSizeLabel) + Decimal(pe.DWord(O(OptionalHeader::SizeOfImage), "SizeOfImage")) + " bytes");
  view.AddLine(LabelLead(RequiredOsLabel) + Version(pe.Word(O(OptionalHeader::MajorOperatingSystemVersion), "MajorOperatingSystemVersion"),
                                                  pe.Word(O(OptionalHeader::MinorOperatingSystemVersion), "MinorOperatingSystemVersion")));
  view.AddLine(LabelLead(ImageVersionLabel) +
               Version(pe.Word(O(OptionalHeader::MajorImageVersion), "MajorImageVersion"), pe.Word(O(OptionalHeader::MinorImageVersion), "MinorImageVersion")));
  view.AddLine(LabelLead(SubsystemVersionLabel) + Version(pe.Word(O(OptionalHeader::MajorSubsystemVersion), "MajorSubsystemVersion"),
                                                  pe.Word(O(OptionalHeader::MinorSubsystemVersion), "MinorSubsystemVersion")));
  view.AddLine(LabelLead(SubsystemLabel).append(SubsystemText(pe.Word(O(OptionalHeader::Subsystem), "Subsystem"))));
  view.AddLine(LabelLead(ChecksumLabel) + Decimal(pe.DWord(O(OptionalHeader::CheckSum), "CheckSum")));
  view.AddLine(LabelLead(CodeSizeLabel) + Decimal(pe.DWord(O(OptionalHeader::SizeOfCode), "SizeOfCode")) + " bytes");
  view.AddLine(LabelLead(InitializedDataLabel) + Decimal(pe.DWord(O(OptionalHeader::SizeOfInitializedData), "SizeOfInitializedData")) +
               " bytes");
  view.AddLine(LabelLead(UninitializedDataLabel) +
               Decimal(pe.DWord(O(OptionalHeader::SizeOfUninitializedData), "SizeOfUninitializedData")) + " bytes");
  view.AddLine(LabelLead(StackReserveLabel) + Decimal(pe.StackOrHeap(0, "SizeOfStackReserve")) +
               " bytes");
  view.AddLine(LabelLead(StackCommitLabel) + Decimal(pe.StackOrHeap(1, "SizeOfStackCommit")) +
               " bytes");
  view.AddLine(LabelLead(HeapReserveLabel) +
               Decimal(pe.StackOrHeap(2, "SizeOfHeapReserve")) + " bytes");
  view.AddLine(LabelLead(HeapCommitLabel) + Decimal(pe.StackOrHeap(3, "SizeOfHeapCommit")) +
               " bytes");
}

} // namespace korvane
