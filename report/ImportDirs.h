// The imported libraries of one import listing, in order of first appearance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

/// An imported function: its name, or for an import by ordinal the number
/// in Ordinal (negative for an import by name), which the listing shows as
/// "#" and the number.
struct TImportedFunction {
  std::string_view Name;
  std::int32_t Ordinal = -1;
};

/// One imported library: its name as first met and its functions in the
/// order they were added, duplicates kept. The name and the texts are views
/// of bytes that live as long as the collection: the image's own, or copies
/// the collection keeps.
class TImportDir {
public:
  explicit TImportDir(std::string_view name) : Name(name) {}

  std::string_view Name;
  std::vector<TImportedFunction> Functions;
};

/// Libraries in order of first appearance. Names are matched with ASCII-only
/// case folding, through an index by folded name so that adding a function
/// costs the same however many libraries there are; the index folds as it
/// compares and keeps no folded copy.
class TImportDirs {
public:
  TImportDirs() = default;
  TImportDirs(const TImportDirs&) = delete;
  TImportDirs& operator=(const TImportDirs&) = delete;

  /// The library whose name matches, or null.
  TImportDir* FindDir(std::string_view name);
  /// Appends the function to the matching library, creating the library at
  /// the end of the list when none matches; the collection keeps the texts.
  void AddFunction(std::string_view name, std::string function);
  /// A copy of text that lives as long as the collection.
  std::string_view Keep(std::string text);
  /// The matching library, created at the end of the list when none matches;
  /// a new library's name is a copy the collection keeps.
  TImportDir& FindOrAddDir(std::string_view name);
  /// The same for a name whose bytes outlive the collection: none is copied.
  TImportDir& FindOrAddDirOfLastingName(std::string_view name);
  int Count() const { return static_cast<int>(FDirs.size()); }
  /// Fails with "List index out of bounds (%d)" outside 0 to Count() - 1.
  TImportDir& GetDir(int index);

private:
  struct TFoldedHash {
    std::size_t operator()(std::string_view name) const;
  };
  struct TFoldedEqual {
    bool operator()(std::string_view left, std::string_view right) const;
  };

  std::vector<std::unique_ptr<TImportDir>> FDirs;
  // Keys are the libraries' own names.
  std::unordered_map<std::string_view, std::size_t, TFoldedHash, TFoldedEqual> FIndex;
  std::deque<std::string> FTexts;
};

/// Two names match when they are equal after a to z are mapped to A to Z; no
/// other byte is folded and the locale plays no part.
bool SameLibraryName(std::string_view left, std::string_view right);

} // namespace korvane
