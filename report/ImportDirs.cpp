// The imported libraries of one import listing.
#include "ImportDirs.h"

#include <algorithm>

#include "Errors.h"

namespace korvane {

namespace {

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

bool SameLibraryName(std::string_view left, std::string_view right) {
  if (left.size() != right.size())
    return false;
  for (std::size_t i = 0; i < left.size(); ++i)
    if (FoldAscii(left[i]) != FoldAscii(right[i]))
      return false;
  return true;
}

std::size_t TImportDirs::TFoldedHash::operator()(std::string_view name) const {
  // Odd and well mixed, in the width of size_t (its low half on 32-bit systems).
  constexpr auto HashMultiplier = static_cast<std::size_t>(0x9E3779B97F4A7C15u);
  // The folded name is hashed a piece at a time, in a buffer on the stack.
  char folded[256];
  std::size_t hash = name.size();
  while (!name.empty()) {
    const std::size_t length = std::min(name.size(), sizeof folded);
    for (std::size_t i = 0; i < length; ++i)
      folded[i] = FoldAscii(name[i]);
    hash = (hash ^ std::hash<std::string_view>()(std::string_view(folded, length))) * HashMultiplier;
    name.remove_prefix(length);
  }
  return hash;
}

bool TImportDirs::TFoldedEqual::operator()(std::string_view left, std::string_view right) const {
  return SameLibraryName(left, right);
}

TImportDir* TImportDirs::FindDir(std::string_view name) {
  const auto found = FIndex.find(name);
  return found == FIndex.end() ? nullptr : FDirs[found->second].get();
}

TImportDir& TImportDirs::FindOrAddDirOfLastingName(std::string_view name) {
  const auto found = FIndex.find(name);
  if (found != FIndex.end())
    return *FDirs[found->second];
  FDirs.push_back(std::make_unique<TImportDir>(name));
  FIndex.emplace(name, FDirs.size() - 1);
  return *FDirs.back();
}

TImportDir& TImportDirs::FindOrAddDir(std::string_view name) {
  if (TImportDir* dir = FindDir(name))
    return *dir;
  return FindOrAddDirOfLastingName(Keep(std::string(name)));
}

std::string_view TImportDirs::Keep(std::string text) { return FTexts.emplace_back(std::move(text)); }

void TImportDirs::AddFunction(std::string_view name, std::string function) {
  FindOrAddDir(name).Functions.push_back({Keep(std::move(function))});
}

TImportDir& TImportDirs::GetDir(int index) {
  if (index < 0 || index >= Count())
    throw TKorvaneError("List index out of bounds (" + std::to_string(index) + ")");
  return *FDirs[static_cast<std::size_t>(index)];
}

} // namespace korvane
