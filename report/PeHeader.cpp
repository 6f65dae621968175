// Summary of a Portable Executable's headers.
#include "PeHeader.h"

#include <string_view>
#include <vector>

#include "ValueNames.h"
#include "PeFormat.h"
#include "SummaryRows.h"

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

// Reads the fields of the headers at peOffset; PE32 and PE32+ differ only in
// the width of ImageBase and of the stack and heap sizes.
class TPeFields {
public:
  TPeFields(const TByteView& file, std::uint64_t peOffset) : FFile(file), FPeOffset(peOffset) {
    FWide = Optional(OptionalHeader::Magic) == OptionalHeader::Pe32PlusMagic;
  }

  template <typename Value>
  Value File(TField<Value> field) const {
    return FFile.Read(FPeOffset + pe::PeHeaders::FileHeader, field, pe::PeHeaders::Record);
  }
  template <typename Value>
  Value Optional(TField<Value> field) const {
    return FFile.Read(FPeOffset + pe::PeHeaders::OptionalHeader, field, pe::PeHeaders::Record);
  }
  // The PE32 field or its PE32+ counterpart.
  TNamedValue Natural(TField<std::uint32_t> narrow, TField<std::uint64_t> wide) const {
    return FWide ? Named(wide, Optional(wide)) : TNamedValue{narrow.Name, Optional(narrow)};
  }
  template <typename Value>
  TNamedValue NamedFile(TField<Value> field) const {
    return Named(field, File(field));
  }
  template <typename Value>
  TNamedValue NamedOptional(TField<Value> field) const {
    return Named(field, Optional(field));
  }

private:
  const TByteView& FFile;
  std::uint64_t FPeOffset;
  bool FWide = false;
};

// A version row of two optional header fields, read major first.
template <typename Value>
void Version(TSummaryRows& rows, const TColumnLabel& label, const TPeFields& pe, TField<Value> major,
             TField<Value> minor) {
  const TNamedValue majorValue = pe.NamedOptional(major);
  rows.Version(label, majorValue, pe.NamedOptional(minor));
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
                    const TDateTimeFormatter& formatter, TReportValues& values) {
  const TPeFields pe(file, peOffset);
  TSummaryRows rows(view, values, value_name::PeHeader);
  using O = OptionalHeader;
  constexpr std::string_view Bytes = " bytes";

  const TNamedValue bits = pe.NamedFile(FileHeader::Characteristics);
  std::vector<std::string_view> phrases;
  for (const TCharacteristic& characteristic : Characteristics)
    if ((bits.Value & characteristic.Bit) != 0)
      phrases.emplace_back(characteristic.Text);
  rows.WordList(CharacteristicsLabel, bits, value_name::CharacteristicsText, phrases, CharacteristicContinued);

  const TNamedValue machine = pe.NamedFile(FileHeader::Machine);
  rows.Words(RequiredCpuLabel, machine, value_name::MachineName,
             ProcessorText(static_cast<std::uint16_t>(machine.Value)));
  Version(rows, LinkerVersionLabel, pe, O::MajorLinkerVersion, O::MinorLinkerVersion);
  const TNamedValue stamp = pe.NamedFile(FileHeader::TimeDateStamp);
  rows.Words(TimeStampLabel, stamp, value_name::TimeDateStampText,
             TimeStampText(static_cast<std::uint32_t>(stamp.Value), formatter));
  rows.Hex(ImageBaseLabel, pe.Natural(O::ImageBase32, O::ImageBase64));
  rows.Decimal(ImageSizeLabel, pe.NamedOptional(O::SizeOfImage), Bytes);
  Version(rows, RequiredOsLabel, pe, O::MajorOperatingSystemVersion, O::MinorOperatingSystemVersion);
  Version(rows, ImageVersionLabel, pe, O::MajorImageVersion, O::MinorImageVersion);
  Version(rows, SubsystemVersionLabel, pe, O::MajorSubsystemVersion, O::MinorSubsystemVersion);
  const TNamedValue subsystem = pe.NamedOptional(O::Subsystem);
  rows.Words(SubsystemLabel, subsystem, value_name::SubsystemName,
             SubsystemText(static_cast<std::uint16_t>(subsystem.Value)));
  rows.Decimal(ChecksumLabel, pe.NamedOptional(O::CheckSum));
  rows.Decimal(CodeSizeLabel, pe.NamedOptional(O::SizeOfCode), Bytes);
  rows.Decimal(InitializedDataLabel, pe.NamedOptional(O::SizeOfInitializedData), Bytes);
  rows.Decimal(UninitializedDataLabel, pe.NamedOptional(O::SizeOfUninitializedData), Bytes);
  rows.Decimal(StackReserveLabel, pe.Natural(O::SizeOfStackReserve32, O::SizeOfStackReserve64), Bytes);
  rows.Decimal(StackCommitLabel, pe.Natural(O::SizeOfStackCommit32, O::SizeOfStackCommit64), Bytes);
  rows.Decimal(HeapReserveLabel, pe.Natural(O::SizeOfHeapReserve32, O::SizeOfHeapReserve64), Bytes);
  rows.Decimal(HeapCommitLabel, pe.Natural(O::SizeOfHeapCommit32, O::SizeOfHeapCommit64), Bytes);
}

} // namespace korvane
