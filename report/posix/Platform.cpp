// POSIX side of the platform services: open/fstat/mmap, strftime with the
// formats of the user's LC_TIME.
#include "../Platform.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../Errors.h"

namespace korvane::platform {

namespace {

[[noreturn]] void RaiseOsError(int code) {
  if (code == 0)
    throw TOsError(0, OsFailureWithoutCode);
  throw TOsError(code, SystemErrorMessage(code, std::strerror(code)));
}

} // namespace

TReadOnlyFile::TReadOnlyFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    RaiseOsError(errno);
  struct stat status {};
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    const int code = S_ISDIR(status.st_mode) ? EISDIR : errno;
    ::close(fd);
    RaiseOsError(code);
  }
  FHandle = fd;
}

TReadOnlyFile::~TReadOnlyFile() { ::close(static_cast<int>(FHandle)); }

// POSIX has no mapping object of its own: the mapping stands for the file's
// size, and like Windows it refuses an empty file.
TFileMapping::TFileMapping(const TReadOnlyFile& file) : FFile(file) {
  struct stat status {};
  if (::fstat(static_cast<int>(file.Handle()), &status) != 0 || status.st_size <= 0)
    return;
  FHandle = file.Handle();
  FSize = static_cast<std::uint64_t>(status.st_size);
  FValid = FSize <= SIZE_MAX;
}

TFileMapping::~TFileMapping() = default;

TMappedView::TMappedView(const TFileMapping& mapping) {
  if (!mapping.Valid())
    return;
  const auto size = static_cast<std::size_t>(mapping.Size());
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, static_cast<int>(mapping.Handle()), 0);
  if (data == MAP_FAILED)
    return;
  FData = static_cast<const std::uint8_t*>(data);
  FSize = size;
}

TMappedView::~TMappedView() {
  if (FData != nullptr)
    ::munmap(const_cast<std::uint8_t*>(FData), FSize);
}

std::string FileTitle(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

namespace {

class TLocaleFormatter final : public TDateTimeFormatter {
public:
  TLocaleFormatter() {
    const char* date = ::nl_langinfo(D_FMT);
    const char* time = ::nl_langinfo(T_FMT);
    FDateFormat = date != nullptr && *date != '\0' ? date : "%m/%d/%y";
    FTimeFormat = time != nullptr && *time != '\0' ? time : "%H:%M:%S";
  }

  std::string ShortDate(const TCivilTime& time) const override { return Format(FDateFormat, time); }
  std::string LongTime(const TCivilTime& time) const override { return Format(FTimeFormat, time); }

private:
  static std::string Format(const std::string& format, const TCivilTime& time) {
    std::tm parts{};
    parts.tm_year = time.Year - 1900;
    parts.tm_mon = time.Month - 1;
    parts.tm_mday = time.Day;
    parts.tm_hour = time.Hour;
    parts.tm_min = time.Minute;
    parts.tm_sec = time.Second;
    parts.tm_wday = WeekDay(time);
    char buffer[256];
    const std::size_t length = std::strftime(buffer, sizeof buffer, format.c_str(), &parts);
    return std::string(buffer, length);
  }

  static int WeekDay(const TCivilTime& time) {
    // Sakamoto's method; 0 is Sunday as tm_wday wants.
    static constexpr int Offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int year = time.Month < 3 ? time.Year - 1 : time.Year;
    return (year + year / 4 - year / 100 + year / 400 + Offsets[time.Month - 1] + time.Day) % 7;
  }

  std::string FDateFormat;
  std::string FTimeFormat;
};

} // namespace

const TDateTimeFormatter& LocaleDateTimeFormatter() {
  static const TLocaleFormatter formatter;
  return formatter;
}

} // namespace korvane::platform
