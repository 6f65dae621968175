// The imported libraries of one import listing.
#include "ImportDirs.h"

#include "Errors.h"

namespace korvane {

namespace {

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    c = FoldAscii(c);
  return folded;
}

} // namespace

bool SameLibraryName(std::string_view left, std::string_view right) {
  if (left.size() != right.size())
    return false;
  for (std::size_t i = 0; i < left.size(); ++i)
    if (FoldAscii(left[i]) != FoldAscii(right[i]))
      return false;
  return true;
}

TImportDir* TImportDirs::FindDir(std::string_view name) {
  const auto found = FIndex.find(Folded(name));
  return found == FIndex.end() ? nullptr : FDirs[found->second].get();
}

TImportDir& TImportDirs::FindOrAddDir(std::string_view name) {
  const auto [found, added] = FIndex.try_emplace(Folded(name), FDirs.size());
  if (added)
    FDirs.push_back(std::make_unique<TImportDir>(std::string(name)));
  return *FDirs[found->second];
}

std::string_view TImportDirs::Keep(std::string text) { return FTexts.emplace_back(std::move(text)); }

void TImportDirs::AddFunction(std::string_view name, std::string function) {
  FindOrAddDir(name).Functions.push_back(Keep(std::move(function)));
}

TImportDir& TImportDirs::GetDir(int index) {
  if (index < 0 || index >= Count())
    throw TKorvaneError("List index out of bounds (" + std::to_string(index) + ")");
  return *FDirs[static_cast<std::size_t>(index)];
}

} // namespace korvane
