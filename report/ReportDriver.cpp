// The report driver: one file in, the whole report out.
#include "ReportDriver.h"

#include <span>

#include "DosHeader.h"
#include "Errors.h"
#include "Exports.h"
#include "FileView.h"
#include "Imports.h"
#include "LoadedImage.h"
#include "PeFormat.h"
#include "PeHeader.h"
#include "Platform.h"
#include "ReportStyle.h"

namespace korvane {

namespace {

using pe::DataDirectory;
using pe::DosHeader;
using pe::OptionalHeader;

// e_lfarlc of a PE file: its relocation table would start right after the
// MS-DOS header.
constexpr std::uint16_t PeRelocationTableOffset = DosHeader::Size;

// An entry of the data directory, named for its table. Its messages call the
// entry's VirtualAddress the entry itself, and its Size "(size)".
struct TDirectoryEntry {
  std::uint64_t Index;
  std::string_view Name;

  TReadName Field(TField<std::uint32_t> field) const {
    return {Name, field.Offset == DataDirectory::Size.Offset ? " (size)" : ""};
  }
};

constexpr TDirectoryEntry BaseRelocEntry{DataDirectory::BaseReloc,
                                         "the data directory entry of the base relocation table"};
constexpr TDirectoryEntry ExportEntry{DataDirectory::Export, "the data directory entry of the export table"};
constexpr TDirectoryEntry ImportEntry{DataDirectory::Import, "the data directory entry of the import table"};

// Real images from some linkers carry another e_lfarlc; a PE signature
// where e_lfanew points also marks a PE file.
bool HasPeSignature(const TByteView& file, std::uint32_t e_lfanew) {
  if (!file.Contains(e_lfanew, 4))
    return false;
  const std::uint8_t* signature = file.Bytes(e_lfanew, 4);
  return signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0 && signature[3] == 0;
}

} // namespace

std::vector<TColumnLabel> ReportColumnLabels() {
  std::vector<TColumnLabel> labels;
  for (const std::span<const TColumnLabel> part : {DosHeaderLabels(), PeHeaderLabels(), ExportColumnLabels()})
    labels.insert(labels.end(), part.begin(), part.end());
  return labels;
}

TReportDriver::TReportDriver(TReportView& view) : TReportDriver(view, platform::LocaleDateTimeFormatter()) {}

TReportDriver::TReportDriver(TReportView& view, const TDateTimeFormatter& formatter)
    : TReportDriver(view, formatter, NoReportValues()) {}

TReportDriver::TReportDriver(TReportView& view, const TDateTimeFormatter& formatter, TReportValues& values)
    : FView(view), FFormatter(formatter), FValues(values) {}

void TReportDriver::BuildReport(const std::string& path) {
  // Owners are declared in the order of acquisition and released in reverse:
  // view and mapping, (caret), file, update.
  TUpdateGuard update(FView);
  FView.Clear();
  FView.SetLeftMargin(5);
  const platform::TReadOnlyFile file(path);
  bool resetCaret = true;
  {
    // An empty file has no view and an empty report; any other file that
    // cannot be mapped has failed here.
    TFileView view(file);
    if (!view.Empty()) {
      FView.ReserveForFile(view.MappedBytes());
      // Bytes of a file that shrank while it was read are zeros: whatever
      // the report made of them, the run fails and says why.
      try {
        resetCaret = ReportMappedFile(view.Bytes(), path);
      } catch (const TKorvaneError&) {
        if (view.Shrank())
          throw TKorvaneError(platform::FileShrankMessage);
        throw;
      }
      if (view.Shrank())
        throw TKorvaneError(platform::FileShrankMessage);
    }
  }
  if (resetCaret)
    FView.ResetCaret();
}

bool TReportDriver::ReportMappedFile(const TByteView& file, const std::string& path) {
  FFileName = path;
  const std::string title = platform::FileTitle(FFileName);
  const int titleLine = FView.AddStyledLine(title + "\n", ReportTitleSize);
  FValues.Title(title);

  const std::uint16_t e_lfarlc = file.Read(0, DosHeader::e_lfarlc, DosHeader::Record);
  const bool peRelocationTable = e_lfarlc == PeRelocationTableOffset;
  // Without that e_lfarlc, a file too short to hold e_lfanew is an MS-DOS
  // program; with it, a PE file that fails on the read.
  if (peRelocationTable || file.Size() >= DosHeader::Size) {
    FFileKind = TFileKind::PortableExecutable;
    const std::uint32_t e_lfanew = file.Read(0, DosHeader::e_lfanew, DosHeader::Record);
    if (peRelocationTable || HasPeSignature(file, e_lfanew))
      return ReportPeFile(file, e_lfanew, titleLine);
  }

  FFileKind = TFileKind::MsDos;
  FView.AddStyledLine(std::string(GetFileKindText()) + "\n", ReportHeadingSize);
  FValues.Kind(GetFileKindText(), {});
  ReportDosHeader(FView, file, FValues);
  return true;
}

bool TReportDriver::ReportPeFile(const TByteView& file, std::uint32_t e_lfanew, int titleLine) {
  const std::uint16_t magic = file.Read(std::uint64_t{e_lfanew} + pe::PeHeaders::OptionalHeader, OptionalHeader::Magic,
                                        pe::PeHeaders::KindRecord);
  if (magic != OptionalHeader::Pe32Magic && magic != OptionalHeader::Pe32PlusMagic) {
    FView.SetText(Win16ModuleMessage);
    FView.FormatLine(titleLine, ReportBodySize, ColourRed, true);
    FView.SelectStart();
    FValues.Win16Module(Win16ModuleMessage);
    return false;
  }

  const std::string_view format = magic == OptionalHeader::Pe32Magic ? "PE32" : "PE32+";
  FView.AddStyledLine(std::string(GetFileKindText()).append(" ").append(format).append("\n"), ReportHeadingSize);
  FValues.Kind(GetFileKindText(), format);
  ReportPeHeader(FView, file, e_lfanew, FFormatter, FValues);
  if (magic == OptionalHeader::Pe32Magic) {
    ReportImage(file, e_lfanew, FView);
  } else if (FValues.TakesUnshownValues()) {
    // The listings of a PE32+ file go to the values only.
    TNullReportView unshown;
    ReportImage(file, e_lfanew, unshown);
  }
  return true;
}

void TReportDriver::ReportImage(const TByteView& file, std::uint32_t e_lfanew, TReportView& view) {
  // The image is released before the caller releases the view, the mapping
  // and the file, also when a failure travels out.
  TLoadedImage image(file, e_lfanew);
  const bool pe32Plus = image.Pe32Plus();
  const auto directory = [&file, e_lfanew, pe32Plus](const TDirectoryEntry& entry, TField<std::uint32_t> field) {
    const std::uint64_t offset =
        pe32Plus ? pe::InPe32PlusDataDirectory(entry.Index) : pe::InPe32DataDirectory(entry.Index);
    return file.ReadDWord(e_lfanew + offset + field.Offset, entry.Field(field));
  };
  const std::uint32_t relocationRva = directory(BaseRelocEntry, DataDirectory::VirtualAddress);
  if (relocationRva != 0) {
    const std::uint32_t relocationSize = directory(BaseRelocEntry, DataDirectory::Size);
    image.ApplyBaseRelocations(relocationRva, relocationSize, image.Delta());
  }
  const std::uint32_t exportRva = directory(ExportEntry, DataDirectory::VirtualAddress);
  if (exportRva != 0)
    ReportExports(view, image, exportRva, FValues);
  const std::uint32_t importRva = directory(ImportEntry, DataDirectory::VirtualAddress);
  if (importRva != 0)
    ReportImports(view, image, importRva, FValues);
}

} // namespace korvane
