// The export listing.
#include "Exports.h"

#include <string>

#include "Errors.h"
#include "Numbers.h"
#include "PeFormat.h"
#include "ReportStyle.h"

namespace korvane {

namespace {

using pe::ExportDirectory;

[[noreturn]] [[gnu::noinline, gnu::cold]] void FailTooMany(std::int32_t count) {
  throw TFormatError("The export directory lists " + Decimal(static_cast<std::uint32_t>(count)) +
                     " names (NumberOfNames); the listing stops after " + Decimal(MaxExportLines));
}

[[noreturn]] [[gnu::noinline, gnu::cold]] void FailTooLong() {
  throw TFormatError("The exported names hold more than " + Decimal(MaxExportTextBytes) +
                     " bytes; the listing stops here");
}

// The heading over the ordinals, and the widest ordinal AppendOrdinal writes
// (five digits), each followed by the TAB before the names.
constexpr TColumnLabel OrdinalHeading{"Ordinal", 1, TValueColumn::ExportName, ReportBodySize, true};
constexpr TColumnLabel WidestOrdinal{"65535", 1, TValueColumn::ExportName};
constexpr TColumnLabel Labels[] = {OrdinalHeading, WidestOrdinal};

void AppendOrdinal(std::string& line, std::uint16_t ordinal) {
  char digits[5];
  int length = 0;
  std::uint32_t rest = ordinal;
  do {
    digits[length++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  for (int pad = length; pad < 4; ++pad)
    line += '0';
  while (length > 0)
    line += digits[--length];
}

} // namespace

std::span<const TColumnLabel> ExportColumnLabels() { return Labels; }

void ReportExports(TReportView& view, TImageReader& image, std::uint32_t exportRva, TReportValues& values) {
  view.AddLine("");
  view.AddStyledLine("Exports", ReportHeadingSize);
  view.AddLine("");
  view.AddStyledLine(LabelLead(OrdinalHeading) + "Function", OrdinalHeading.Size);
  values.Exports();

  // Sums of RVAs are formed in 64 bits: one that passes 2^32 fails its read.
  const std::uint64_t directory = exportRva;
  const auto count =
      static_cast<std::int32_t>(image.Read(directory, ExportDirectory::NumberOfNames, ExportDirectory::Record));
  if (count <= 0)
    return;
  if (values.TakesUnshownValues())
    values.ExportBase(image.Read(directory, ExportDirectory::Base, ExportDirectory::Record));
  const std::uint64_t names = image.Read(directory, ExportDirectory::AddressOfNames, ExportDirectory::Record);
  const std::uint64_t ordinals = image.Read(directory, ExportDirectory::AddressOfNameOrdinals, ExportDirectory::Record);

  std::string line;
  std::string buffer;
  std::uint64_t textBytes = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    if (i == MaxExportLines)
      FailTooMany(count);
    const auto index = static_cast<std::uint64_t>(i);
    const std::uint16_t ordinal = image.ReadWord(ordinals + 2 * index, "an entry of the export ordinal table");
    const std::uint32_t nameRva = image.ReadDWord(names + 4 * index, "an entry of the export name pointer table");
    const std::string_view name = image.ReadText(nameRva, "an exported name", buffer);
    textBytes += name.size();
    if (textBytes > MaxExportTextBytes)
      FailTooLong();
    line.clear();
    AppendOrdinal(line, ordinal);
    line.append(static_cast<std::size_t>(WidestOrdinal.Tabs), '\t');
    AppendShownText(line, name);
    view.AddLine(line);
    values.Export(ordinal, name);
  }
}

} // namespace korvane
