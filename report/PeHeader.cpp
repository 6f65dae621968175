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
    {0x014C, "Intel 386"},
    {0x014D, "Intel 486"},
    {0x014E, "Intel 586"},
    {0x0162, "MIPS Mark I (R2000, R3000)"},
    {0x0163, "MIPS Mark II (R6000)"},
    {0x0166, "MIPS Mark III (R4000)"},
    {0x0184, "DEC Alpha"},
    {0x01F0, "IBM PowerPC"},
    {0x0200, "Intel 64"},
    {0x8664, "AMD64 (K8)"},
};

constexpr const char* Subsystems[] = {"Unknown", "Native",         "Windows GUI", "Windows character",
                                      "Unknown", "OS/2 character", "Unknown",     "Posix character",
                                      "Unknown", "Windows CE"};

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
    CharacteristicsLabel, RequiredCpuLabel, LinkerVersionLabel,   TimeStampLabel,          ImageBaseLabel,
    ImageSizeLabel,       RequiredOsLabel,  ImageVersionLabel,    SubsystemVersionLabel,   SubsystemLabel,
    ChecksumLabel,        CodeSizeLabel,    InitializedDataLabel, UninitializedDataLabel,  StackReserveLabel,
    StackCommitLabel,     HeapReserveLabel, HeapCommitLabel,      CharacteristicContinued,
};

using pe::FileHeader;
using pe::OptionalHeader;

constexpr TRecordName PeField{"the PE header field "};

// Reads the fields of the headers at peOffset; PE32 and PE32+ differ only in
// the width of ImageBase and of the stack and heap sizes.
class TPeFields {
public:
  TPeFields(const TByteView& file, std::uint64_t peOffset) : FFile(file), FPeOffset(peOffset) {
    FWide = Optional(OptionalHeader::Magic) == OptionalHeader::Pe32PlusMagic;
  }

  template <typename Value>
  Value File(TField<Value> field) const {
    return FFile.Read(FPeOffset + pe::PeHeaders::FileHeader, field, PeField);
  }
  template <typename Value>
  Value Optional(TField<Value> field) const {
    return FFile.Read(FPeOffset + pe::PeHeaders::OptionalHeader, field, PeField);
  }
  // The PE32 field or its PE32+ counterpart.
  std::uint64_t Natural(TField<std::uint32_t> narrow, TField<std::uint64_t> wide) const {
    return FWide ? Optional(wide) : Optional(narrow);
  }

private:
  const TByteView& FFile;
  std::uint64_t FPeOffset;
  bool FWide = false;
};

std::string Bytes(std::uint64_t count) { return Decimal(count) + " bytes"; }

std::string Version(std::uint64_t major, std::uint64_t minor) { return Decimal(major) + "." + Decimal(minor); }

// Appends "\n\t\t\t" when accumulator is not empty, then text.
void AppendCharacteristic(std::string& accumulator, std::string_view text) {
  if (!accumulator.empty())
    accumulator.append("\n").append(LabelLead(CharacteristicContinued));
  accumulator += text;
}

// The processor text of Machine; empty for a value not in the table.
std::string_view ProcessorText(std::uint16_t machine) {
  for (const TProcessor& processor : Processors)
    if (processor.Machine == machine)
      return processor.Text;
  return {};
}

// The subsystem text; "Unknown" for values without one.
std::string_view SubsystemText(std::uint16_t subsystem) {
  return subsystem < std::size(Subsystems) ? Subsystems[subsystem] : "Unknown";
}

} // namespace

std::span<const TColumnLabel> PeHeaderLabels() { return Labels; }

void ReportPeHeader(TReportView& view, const TByteView& file, std::uint64_t peOffset,
                    const TDateTimeFormatter& formatter) {
  const TPeFields pe(file, peOffset);

  std::string characteristics;
  const std::uint16_t bits = pe.File(FileHeader::Characteristics);
  for (const TCharacteristic& characteristic : Characteristics)
    if ((bits & characteristic.Bit) != 0)
      AppendCharacteristic(characteristics, characteristic.Text);
  view.AddLine(LabelLead(CharacteristicsLabel) + characteristics);

  using O = OptionalHeader;
  view.AddLine(LabelLead(RequiredCpuLabel).append(ProcessorText(pe.File(FileHeader::Machine))));
  view.AddLine(LabelLead(LinkerVersionLabel) +
               Version(pe.Optional(O::MajorLinkerVersion), pe.Optional(O::MinorLinkerVersion)));
  view.AddLine(LabelLead(TimeStampLabel) + TimeStampText(pe.File(FileHeader::TimeDateStamp), formatter));
  view.AddLine(LabelLead(ImageBaseLabel) + Hex(pe.Natural(O::ImageBase32, O::ImageBase64)) + "H");
  view.AddLine(LabelLead(ImageSizeLabel) + Bytes(pe.Optional(O::SizeOfImage)));
  view.AddLine(LabelLead(RequiredOsLabel) +
               Version(pe.Optional(O::MajorOperatingSystemVersion), pe.Optional(O::MinorOperatingSystemVersion)));
  view.AddLine(LabelLead(ImageVersionLabel) +
               Version(pe.Optional(O::MajorImageVersion), pe.Optional(O::MinorImageVersion)));
  view.AddLine(LabelLead(SubsystemVersionLabel) +
               Version(pe.Optional(O::MajorSubsystemVersion), pe.Optional(O::MinorSubsystemVersion)));
  view.AddLine(LabelLead(SubsystemLabel).append(SubsystemText(pe.Optional(O::Subsystem))));
  view.AddLine(LabelLead(ChecksumLabel) + Decimal(pe.Optional(O::CheckSum)));
  view.AddLine(LabelLead(CodeSizeLabel) + Bytes(pe.Optional(O::SizeOfCode)));
  view.AddLine(LabelLead(InitializedDataLabel) + Bytes(pe.Optional(O::SizeOfInitializedData)));
  view.AddLine(LabelLead(UninitializedDataLabel) + Bytes(pe.Optional(O::SizeOfUninitializedData)));
  view.AddLine(LabelLead(StackReserveLabel) + Bytes(pe.Natural(O::SizeOfStackReserve32, O::SizeOfStackReserve64)));
  view.AddLine(LabelLead(StackCommitLabel) + Bytes(pe.Natural(O::SizeOfStackCommit32, O::SizeOfStackCommit64)));
  view.AddLine(LabelLead(HeapReserveLabel) + Bytes(pe.Natural(O::SizeOfHeapReserve32, O::SizeOfHeapReserve64)));
  view.AddLine(LabelLead(HeapCommitLabel) + Bytes(pe.Natural(O::SizeOfHeapCommit32, O::SizeOfHeapCommit64)));
}

} // namespace korvane
