// System libraries loaded from the Windows system folder only, never from
// beside the host or from its current folder.
#include "SystemLibrary.h"

#include <cstring>

namespace korvane::viewer {

HMODULE LoadSystemLibrary(const char* fileName) noexcept {
  // A library that is not a known DLL is looked for in the host's own folder
  // first; a bare name would load a file planted there into the host.
  if (HMODULE module = ::LoadLibraryExA(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    return module;
  // Without the search-flags update the flag is refused with this code; the
  // full path with the altered search order then finds the library and its
  // dependencies in the system folder first.
  if (::GetLastError() != ERROR_INVALID_PARAMETER)
    return nullptr;
  char path[MAX_PATH + 1] = {};
  const UINT folderLength = ::GetSystemDirectoryA(path, MAX_PATH);
  const std::size_t nameLength = std::strlen(fileName);
  if (folderLength == 0)
    return nullptr;
  if (folderLength >= MAX_PATH || MAX_PATH - folderLength <= nameLength + 1) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  path[folderLength] = '\\';
  std::memcpy(path + folderLength + 1, fileName, nameLength + 1);
  return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace korvane::viewer
