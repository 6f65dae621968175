// The imported libraries of one import listing, in order of first appearance.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

/// One imported library: its name as first met and its function texts in
/// the order they were added, duplicates kept. The texts are views of bytes
/// that live as long as the collection: the image's own, or copies the
/// collection keeps.
class TImportDir {
public:
  explicit TImportDir(std::string name) : Name(std::move(name)) {}

  std::string Name;
  std::vector<std::string_view> Functions;
};

/// Libraries in order of first appearance. Names are matched with ASCII-only
/// case folding, through an index by folded name so that adding a function
/// costs the same however many libraries there are.
class TImportDirs {
public:
  /// The library whose name matches, or null.
  TImportDir* FindDir(std::string_view name);
  /// Appends the function to the matching library, creating the library at
  /// the end of the list when none matches; the collection keeps the text.
  void AddFunction(std::string_view name, std::string function);
  /// A copy of text that lives as long as the collection.
  std::string_view Keep(std::string text);
  /// The matching library, created at the end of the list when none matches.
  TImportDir& FindOrAddDir(std::string_view name);
  int Count() const { return static_cast<int>(FDirs.size()); }
  /// Fails with "List index out of bounds (%d)" outside 0 to Count() - 1.
  TImportDir& GetDir(int index);

private:
  std::vector<std::unique_ptr<TImportDir>> FDirs;
  std::unordered_map<std::string, std::size_t> FIndex;
  std::deque<std::string> FTexts;
};

/// Two names match when they are equal after a to z are mapped to A to Z; no
/// other byte is folded and the locale plays no part.
bool SameLibraryName(std::string_view left, std::string_view right);

} // namespace korvane
