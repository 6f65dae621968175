// Operating-system services the report engine needs: a read-only mapping of a
// file, the file's title, and the user's date and time formats. One
// implementation per system (posix/, win32/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Errors.h"
#include "TimeStamp.h"

namespace korvane::platform {

/// The file opened for shared reading. Construction raises TOsError with the
/// system's message when the file cannot be opened (a folder included), and
/// TNotRegularFileError ("PATH is not a regular file") for a device, a FIFO or a
/// socket, which is opened without waiting for a writer.
class TReadOnlyFile {
public:
  explicit TReadOnlyFile(const std::string& path);
  ~TReadOnlyFile();
  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

  /// The system's handle or descriptor.
  std::intptr_t Handle() const { return FHandle; }

private:
  std::intptr_t FHandle;
};

/// A read-only mapping of the whole file. An empty file has none (Valid()
/// is false): the system refuses to map a file of length 0. Construction
/// raises TOsError with the system's message when it refuses any other file.
class TFileMapping {
public:
  explicit TFileMapping(const TReadOnlyFile& file);
  ~TFileMapping();
  TFileMapping(const TFileMapping&) = delete;
  TFileMapping& operator=(const TFileMapping&) = delete;

  bool Valid() const { return FValid; }
  std::intptr_t Handle() const { return FHandle; }
  std::uint64_t Size() const { return FSize; }

private:
  std::intptr_t FHandle = 0;
  std::uint64_t FSize = 0;
  bool FValid = false;
};

/// Where a view of a mapping may start: a multiple of this many bytes (the
/// allocation granularity of Windows, a multiple of every page size).
inline constexpr std::uint64_t ViewAlignment = 64 * 1024;

/// A read-only view of size bytes of a valid mapping, from offset on (a
/// multiple of ViewAlignment); offset + size lies inside the file.
/// Construction raises TOsError with the system's message when the system
/// refuses the view (no room in the address space, for one).
class TMappedView {
public:
  TMappedView(const TFileMapping& mapping, std::uint64_t offset, std::size_t size);
  ~TMappedView();
  TMappedView(const TMappedView&) = delete;
  TMappedView& operator=(const TMappedView&) = delete;

  const std::uint8_t* Data() const { return FData; }
  std::size_t Size() const { return FSize; }
  /// True when the file has shrunk under the view since it was mapped: the
  /// bytes it lost read as zeros instead of ending the process. A file open
  /// for shared reading cannot shrink on Windows; elsewhere it can.
  bool Shrank() const;

private:
  const std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
  int FGuard = -1;
};

/// Message of the failure raised when the file shrank while it was read.
inline constexpr const char* FileShrankMessage = "The file became shorter while it was read; the report stops here";

/// The part of a path after its last folder separator ("\" or ":" on
/// Windows, with double-byte characters respected; "/" elsewhere).
std::string FileTitle(std::string_view path);

/// The system's own words for an error code (GetLastError's on Windows,
/// errno's elsewhere), as the system gives them.
std::string SystemText(int code);

/// The failure of a system call that left code behind: "context: " when
/// context is not empty, then the system's message for code, or
/// OsFailureWithoutCode when the system gave no code.
TOsError SystemError(int code, std::string_view context = {});

/// The user's short date and long time formats, read once.
const TDateTimeFormatter& LocaleDateTimeFormatter();

} // namespace korvane::platform
