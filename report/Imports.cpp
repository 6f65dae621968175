// The import listing.
#include "Imports.h"

#include <string>

#include "Errors.h"
#include "ImportDirs.h"
#include "Numbers.h"
#include "PeFormat.h"
#include "ReportStyle.h"

namespace korvane {

namespace {

using pe::ImportDescriptor;

[[noreturn]] [[gnu::noinline, gnu::cold]] void FailTooMany() {
  throw TFormatError("The import directory names more than " + Decimal(MaxImportFunctions) +
                     " functions; the listing stops here");
}

[[noreturn]] [[gnu::noinline, gnu::cold]] void FailTooManyDescriptors() {
  throw TFormatError("The import directory holds more than " + Decimal(MaxImportDescriptors) +
                     " descriptors; the listing stops here");
}

[[noreturn]] [[gnu::noinline, gnu::cold]] void FailTooLong() {
  throw TFormatError("The imported library and function names hold more than " + Decimal(MaxImportTextBytes) +
                     " bytes; the listing stops here");
}

class TImportWalk {
public:
  TImportWalk(TImageReader& image, TImportDirs& dirs) : FImage(image), FDirs(dirs) {}

  void Walk(std::uint64_t descriptor) {
    for (std::uint32_t count = 0;; descriptor += ImportDescriptor::Size, ++count) {
      const std::uint32_t nameRva = FImage.Read(descriptor, ImportDescriptor::Name, ImportDescriptor::Record);
      if (nameRva == 0)
        return;
      if (count == MaxImportDescriptors)
        FailTooManyDescriptors();
      const std::uint32_t timeDateStamp =
          FImage.Read(descriptor, ImportDescriptor::TimeDateStamp, ImportDescriptor::Record);
      // A bound import (TimeDateStamp not 0) walks its lookup table; one
      // without a lookup table (OriginalFirstThunk 0) walks the address table,
      // never RVA 0.
      std::uint32_t thunks = 0;
      if (timeDateStamp != 0)
        thunks = FImage.Read(descriptor, ImportDescriptor::OriginalFirstThunk, ImportDescriptor::Record);
      if (thunks == 0)
        thunks = FImage.Read(descriptor, ImportDescriptor::FirstThunk, ImportDescriptor::Record);
      WalkThunks(thunks, nameRva);
    }
  }

private:
  void WalkThunks(std::uint64_t thunk, std::uint32_t nameRva) {
    // The library name is read when its first function is added, so a
    // descriptor that imports nothing never reads it.
    TImportDir* dir = nullptr;
    const std::uint64_t thunkSize = FWide ? 8 : 4;
    for (;; thunk += thunkSize) {
      const std::uint64_t value =
          FWide ? FImage.ReadQWord(thunk, "an import thunk") : FImage.ReadDWord(thunk, "an import thunk");
      if (value == 0)
        return;
      if (FFunctions == MaxImportFunctions)
        FailTooMany();
      TImportedFunction function;
      if (FWide ? IsOrdinalThunk64(value) : IsOrdinalThunk(static_cast<std::uint32_t>(value))) {
        // The ordinal is bits 15 to 0; the bits above it up to the flag are
        // ignored.
        function.Ordinal = static_cast<std::int32_t>(value & 0xFFFFu);
      } else {
        // The RVA of the hint and name, as stored: a PE32+ value past 2^32
        // fails its read.
        function.Name = FImage.ReadText(value + 2, "an imported function name", FBuffer);
        // A text that spans regions comes back in the buffer: keep a copy.
        if (!FBuffer.empty())
          function.Name = FDirs.Keep(std::move(FBuffer));
        CountTextBytes(function.Name.size());
      }
      if (dir == nullptr)
        dir = &FindOrAddDir(nameRva);
      dir->Functions.push_back(function);
      ++FFunctions;
    }
  }

  void CountTextBytes(std::uint64_t count) {
    FTextBytes += count;
    if (FTextBytes > MaxImportTextBytes)
      FailTooLong();
  }

  // Every descriptor's library name counts toward the limit on name bytes,
  // as every function name does. A descriptor naming the same RVA as the one
  // before reads the same bytes: they are not read and looked up again.
  TImportDir& FindOrAddDir(std::uint32_t nameRva) {
    if (FLastDir != nullptr && nameRva == FLastNameRva) {
      CountTextBytes(FLastDir->Name.size());
      return *FLastDir;
    }
    std::string_view name = FImage.ReadText(nameRva, "an imported library name", FBuffer);
    CountTextBytes(name.size());
    // A name that spans regions comes back in the buffer: a new library
    // keeps a copy of it; otherwise its bytes are the image's own.
    TImportDir& dir = FBuffer.empty() ? FDirs.FindOrAddDirOfLastingName(name) : FDirs.FindOrAddDir(name);
    FLastDir = &dir;
    FLastNameRva = nameRva;
    return dir;
  }

  TImageReader& FImage;
  TImportDirs& FDirs;
  const bool FWide = FImage.Pe32Plus();
  TImportDir* FLastDir = nullptr;
  std::uint32_t FLastNameRva = 0;
  std::uint32_t FFunctions = 0;
  std::uint64_t FTextBytes = 0;
  std::string FBuffer;
};

} // namespace

void ReportImports(TReportView& view, TImageReader& image, std::uint32_t importRva, TReportValues& values) {
  TImportDirs dirs;
  TImportWalk(image, dirs).Walk(importRva);

  view.AddLine("");
  view.AddStyledLine("Imports", ReportHeadingSize);
  values.Imports();
  std::string line;
  for (int i = 0; i < dirs.Count(); ++i) {
    const TImportDir& dir = dirs.GetDir(i);
    view.AddLine("");
    line.clear();
    AppendShownText(line, dir.Name);
    view.AddStyledLine(line, ReportBodySize);
    values.ImportLibrary(dir.Name);
    view.AddLine("");
    for (const TImportedFunction& function : dir.Functions) {
      line.clear();
      if (function.Ordinal >= 0) {
        line.append("#").append(Decimal(static_cast<std::uint64_t>(function.Ordinal)));
        view.AddLine(line);
        values.ImportByOrdinal(static_cast<std::uint16_t>(function.Ordinal));
      } else {
        AppendShownText(line, function.Name);
        view.AddLine(line);
        values.ImportByName(function.Name);
      }
    }
  }
}

} // namespace korvane
