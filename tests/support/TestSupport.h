// Helpers shared by the engine tests and the file generators: bytes placed
// against an inaccessible page, files written and temporary files, a fixed
// date formatter and report line access.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ByteView.h"
#include "MemoryReportView.h"
#include "PeBuilder.h"
#include "TimeStamp.h"

namespace korvane::test {

/// Copies bytes so that the last one ends a readable page and the next page
/// is inaccessible: a read past the end faults instead of passing unnoticed.
class TGuardedBytes {
public:
  explicit TGuardedBytes(const TBytes& bytes);
  ~TGuardedBytes();
  TGuardedBytes(const TGuardedBytes&) = delete;
  TGuardedBytes& operator=(const TGuardedBytes&) = delete;

  TByteView View() const { return TByteView(FData, FSize); }

private:
  std::uint8_t* FRegion = nullptr;
  std::size_t FRegionSize = 0;
  const std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
};

/// Writes bytes as the whole file at path; false when that fails.
bool WriteBytes(const std::filesystem::path& path, const TBytes& bytes);

/// A file in the temporary folder, removed when the object goes.
class TTempFile {
public:
  explicit TTempFile(const TBytes& bytes, const std::string& name = "sample.exe");
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  const std::string& Path() const { return FPath; }
  const std::string& Folder() const { return FFolder; }

private:
  std::string FFolder;
  std::string FPath;
};

/// ISO dates and 24-hour times, whatever the machine's locale.
class TIsoFormatter final : public TDateTimeFormatter {
public:
  std::string ShortDate(const TCivilTime& time) const override;
  std::string LongTime(const TCivilTime& time) const override;
};

const TIsoFormatter& IsoFormatter();

std::vector<std::string> ReportLines(const TMemoryReportView& view);

/// A path separator-free name that does not exist in the temporary folder.
std::string MissingPath();

/// Number of file descriptors or handles the process holds now.
int OpenHandleCount();

} // namespace korvane::test
