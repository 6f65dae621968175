// Summary of a Portable Executable's headers.
#include "PeHeader.h"

#include "Numbers.h"

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

// Field offsets from the start of the PE headers: signature 4, file header 20,
// then the optional header.
constexpr std::uint64_t FileHeader = 4;
constexpr std::uint64_t OptionalHeader = 24;

// Reads the fields of the headers at peOffset; PE32 and PE32+ differ only in
// the width of ImageBase and of the stack and heap sizes.
class TPeFields {
public:
  TPeFields(const TByteView& file, std::uint64_t peOffset) : FFile(file), FPeOffset(peOffset) {
    FWide = Word(OptionalHeader, "Magic") == Pe32PlusMagic;
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
    return Natural(OptionalHeader + (FWide ? 24 : 28), "ImageBase");
  }
  // The stack and heap sizes follow each other from optional header offset 72.
  std::uint64_t StackOrHeap(int index, const char* name) const {
    return Natural(OptionalHeader + 72 + static_cast<std::uint64_t>(index) * (FWide ? 8 : 4), name);
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

void AppendCharacteristic(std::string& accumulator, std::string_view text) {
  if (!accumulator.empty())
    accumulator += "\n\t\t\t";
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
  constexpr std::uint64_t O = OptionalHeader;

  std::string characteristics;
  const std::uint16_t bits = pe.Word(FileHeader + 18, "Characteristics");
  for (const TCharacteristic& characteristic : Characteristics)
    if ((bits & characteristic.Bit) != 0)
      AppendCharacteristic(characteristics, characteristic.Text);
  view.AddLine("Characteristics:\t\t" + characteristics);

  view.AddLine(std::string("Required CPU:\t\t").append(ProcessorText(pe.Word(FileHeader, "Machine"))));
  view.AddLine("Linker version:\t\t" + Version(pe.Byte(O + 2, "MajorLinkerVersion"),
                                               pe.Byte(O + 3, "MinorLinkerVersion")));
  view.AddLine("Time stamp:\t\t" + TimeStampText(pe.DWord(FileHeader + 4, "TimeDateStamp"), formatter));
  view.AddLine("Image base:\t\t" + Hex(pe.ImageBase()) + "H");
  view.AddLine("Image size:\t\t" + Decimal(pe.DWord(O + 56, "SizeOfImage")) + " bytes");
  view.AddLine("Required OS version:\t" + Version(pe.Word(O + 40, "MajorOperatingSystemVersion"),
                                                  pe.Word(O + 42, "MinorOperatingSystemVersion")));
  view.AddLine("Image version:\t\t" +
               Version(pe.Word(O + 44, "MajorImageVersion"), pe.Word(O + 46, "MinorImageVersion")));
  view.AddLine("Subsystem version:\t\t" + Version(pe.Word(O + 48, "MajorSubsystemVersion"),
                                                  pe.Word(O + 50, "MinorSubsystemVersion")));
  view.AddLine(std::string("Subsystem:\t\t").append(SubsystemText(pe.Word(O + 68, "Subsystem"))));
  view.AddLine("Checksum:\t\t" + Decimal(pe.DWord(O + 64, "CheckSum")));
  view.AddLine("Code size:\t\t" + Decimal(pe.DWord(O + 4, "SizeOfCode")) + " bytes");
  view.AddLine("Size of initialized data:\t" + Decimal(pe.DWord(O + 8, "SizeOfInitializedData")) +
               " bytes");
  view.AddLine("Size of uninitialized data:\t" +
               Decimal(pe.DWord(O + 12, "SizeOfUninitializedData")) + " bytes");
  view.AddLine("Size of stack to reserve:\t" + Decimal(pe.StackOrHeap(0, "SizeOfStackReserve")) +
               " bytes");
  view.AddLine("Size of stack to commit:\t" + Decimal(pe.StackOrHeap(1, "SizeOfStackCommit")) +
               " bytes");
  view.AddLine("Size of local heap to reserve:\t" +
               Decimal(pe.StackOrHeap(2, "SizeOfHeapReserve")) + " bytes");
  view.AddLine("Size of local heap to commit:\t" + Decimal(pe.StackOrHeap(3, "SizeOfHeapCommit")) +
               " bytes");
}

} // namespace korvane
