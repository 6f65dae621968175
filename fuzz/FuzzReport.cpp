// libFuzzer target: raw bytes as a mapped file through the whole report, its
// JSON form (with the listings of PE32+ files) checked for shape, and for PE32
// and PE32+ files the loaded image checked against the plain model: the same
// reads succeed, the same listings come out, the same steps fail.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "Errors.h"
#include "Exports.h"
#include "ImageModel.h"
#include "JsonReport.h"
#include "Imports.h"
#include "LoadedImage.h"
#include "MemoryReportView.h"
#include "PeFormat.h"
#include "Platform.h"
#include "ReportDriver.h"

namespace {

using namespace korvane;

// The model holds SizeOfImage bytes twice; larger images are checked by
// the report run alone.
constexpr std::uint32_t MaxModelSize = 4u << 20;
constexpr int MaxComparedLines = 100000;

// What one implementation made of the image: how far it came and the lines.
struct TOutcome {
  int Steps = 0; // built, relocated, exports listed, imports listed
  std::string Text;
};

template <typename Image>
void List(Image& image, const TByteView& file, std::uint64_t peOffset, std::uint64_t delta, TOutcome& outcome) {
  using pe::DataDirectory;
  const bool wide = image.Pe32Plus();
  const auto directory = [&](std::uint64_t index, TField<std::uint32_t> field) {
    const std::uint64_t entry = wide ? pe::InPe32PlusDataDirectory(index) : pe::InPe32DataDirectory(index);
    return file.Read(peOffset + entry, field, TRecordName{"data directory "});
  };
  TMemoryReportView view;
  try {
    const std::uint32_t relocations = directory(DataDirectory::BaseReloc, DataDirectory::VirtualAddress);
    if (relocations != 0)
      image.ApplyBaseRelocations(relocations, directory(DataDirectory::BaseReloc, DataDirectory::Size), delta);
    ++outcome.Steps;
    const std::uint32_t exports = directory(DataDirectory::Export, DataDirectory::VirtualAddress);
    if (exports != 0)
      ReportExports(view, image, exports);
    ++outcome.Steps;
    const std::uint32_t imports = directory(DataDirectory::Import, DataDirectory::VirtualAddress);
    if (imports != 0)
      ReportImports(view, image, imports);
    ++outcome.Steps;
  } catch (const TFormatError&) {
  }
  outcome.Text = view.Text();
}

void CompareWithModel(const TByteView& file) {
  if (file.Size() < 64)
    return;
  const std::uint64_t pe = file.ReadDWord(0x3C, "e_lfanew");
  if (!file.Contains(pe + 24, 2))
    return;
  const std::uint16_t magic = file.ReadWord(pe + 24, "Magic");
  if (magic != pe::OptionalHeader::Pe32Magic && magic != pe::OptionalHeader::Pe32PlusMagic)
    return;
  const std::uint32_t size = test::SizeOfImageOf(file, pe);
  if (size > MaxModelSize)
    return;

  TOutcome fast;
  std::uint64_t delta = 0x10000;
  std::optional<TLoadedImage> image;
  try {
    image.emplace(file, pe);
    ++fast.Steps;
    delta = image->Delta();
  } catch (const TKorvaneError&) {
  }
  if (image)
    List(*image, file, pe, delta, fast);

  TOutcome model;
  std::optional<test::TImageModel> plain;
  try {
    plain.emplace(file, pe);
    ++model.Steps;
  } catch (const TKorvaneError&) {
  }
  if (plain)
    List(*plain, file, pe, delta, model);

  if (fast.Steps != model.Steps || fast.Text != model.Text)
    std::abort();
}

// Follows a JSON line as the writer hands it on: brackets pair up outside
// strings, strings hold no raw control character, and the line ends once,
// after its object closes.
class TJsonShape {
public:
  void Take(std::string_view text) {
    for (const char c : text) {
      if (FEnded)
        std::abort();
      if (FInString) {
        if (static_cast<unsigned char>(c) < 0x20)
          std::abort();
        if (FEscaped)
          FEscaped = false;
        else if (c == '\\')
          FEscaped = true;
        else if (c == '"')
          FInString = false;
        continue;
      }
      if (c == '"') {
        FInString = true;
      } else if (c == '{' || c == '[') {
        FOpen += c;
      } else if (c == '}' || c == ']') {
        if (FOpen.empty() || FOpen.back() != (c == '}' ? '{' : '['))
          std::abort();
        FOpen.pop_back();
      } else if (c == '\n') {
        if (!FOpen.empty())
          std::abort();
        FEnded = true;
      }
    }
  }
  bool Whole() const { return FEnded; }

private:
  std::string FOpen;
  bool FInString = false;
  bool FEscaped = false;
  bool FEnded = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TByteView file(data, size);
  TMemoryReportView view;
  TJsonShape shape;
  TJsonReport json([&shape](std::string_view text) { shape.Take(text); });
  TReportDriver driver(view, platform::LocaleDateTimeFormatter(), json);
  json.WriteLine("fuzz.exe", [&]() -> std::optional<std::string> {
    try {
      driver.ReportMappedFile(file, "fuzz.exe");
    } catch (const TKorvaneError& error) {
      // A clean failure is a result like any other.
      return error.what();
    }
    return std::nullopt;
  });
  if (view.UpdateDepth() != 0 || !shape.Whole())
    std::abort();
  // Listings near the limits take a second each; they are compared with the
  // model in the tests, and the fuzzer's time goes further on other inputs.
  if (view.LineCount() < MaxComparedLines)
    CompareWithModel(file);
  return 0;
}
