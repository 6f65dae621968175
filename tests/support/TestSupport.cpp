// Helpers shared by the engine tests.
#include "TestSupport.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace korvane::test {

namespace {

std::size_t PageSize() {
#ifdef _WIN32
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwPageSize;
#else
  return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
#endif
}

std::string UniqueName() {
  static std::atomic<int> counter{0};
#ifdef _WIN32
  const auto process = static_cast<unsigned long>(::GetCurrentProcessId());
#else
  const auto process = static_cast<unsigned long>(::getpid());
#endif
  return "korvane-test-" + std::to_string(process) + "-" + std::to_string(counter++);
}

std::string TwoDigits(int value) { return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)}; }

} // namespace

TGuardedBytes::TGuardedBytes(const TBytes& bytes) {
  const std::size_t page = PageSize();
  const std::size_t dataPages = (bytes.size() + page - 1) / page;
  FRegionSize = (dataPages + 1) * page;
#ifdef _WIN32
  FRegion = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, FRegionSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (FRegion == nullptr)
    throw std::runtime_error("VirtualAlloc failed");
  DWORD old = 0;
  ::VirtualProtect(FRegion + dataPages * page, page, PAGE_NOACCESS, &old);
#else
  void* region = ::mmap(nullptr, FRegionSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED)
    throw std::runtime_error("mmap failed");
  FRegion = static_cast<std::uint8_t*>(region);
  ::mprotect(FRegion + dataPages * page, page, PROT_NONE);
#endif
  std::uint8_t* data = FRegion + dataPages * page - bytes.size();
  if (!bytes.empty())
    std::memcpy(data, bytes.data(), bytes.size());
  FData = data;
  FSize = bytes.size();
}

TGuardedBytes::~TGuardedBytes() {
#ifdef _WIN32
  ::VirtualFree(FRegion, 0, MEM_RELEASE);
#else
  ::munmap(FRegion, FRegionSize);
#endif
}

bool WriteBytes(const std::filesystem::path& path, const TBytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

TTempFile::TTempFile(const TBytes& bytes, const std::string& name) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / UniqueName();
  std::filesystem::create_directories(folder);
  FFolder = folder.string();
  FPath = (folder / name).string();
  WriteBytes(FPath, bytes);
}

TTempFile::~TTempFile() {
  std::error_code ignored;
  std::filesystem::remove_all(FFolder, ignored);
}

std::string TIsoFormatter::ShortDate(const TCivilTime& time) const {
  return std::to_string(time.Year) + "-" + TwoDigits(time.Month) + "-" + TwoDigits(time.Day);
}

std::string TIsoFormatter::LongTime(const TCivilTime& time) const {
  return TwoDigits(time.Hour) + ":" + TwoDigits(time.Minute) + ":" + TwoDigits(time.Second);
}

const TIsoFormatter& IsoFormatter() {
  static const TIsoFormatter formatter;
  return formatter;
}

std::vector<std::string> ReportLines(const TMemoryReportView& view) {
  std::vector<std::string> lines;
  for (int i = 0; i < view.LineCount(); ++i)
    lines.push_back(view.Line(i).Text);
  return lines;
}

std::string MissingPath() {
  return (std::filesystem::temp_directory_path() / (UniqueName() + "-missing.exe")).string();
}

int OpenHandleCount() {
#ifdef _WIN32
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return static_cast<int>(count);
#else
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
#endif
}

} // namespace korvane::test
