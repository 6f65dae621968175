// POSIX side of the platform services: open/fstat/mmap, strftime with the
// formats of the user's LC_TIME.
#include "../Platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
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

[[noreturn]] void RaiseOsError(int code) { throw SystemError(code); }

// Views whose pages past a shrunken end of file are replaced by zeros
// instead of ending the process with SIGBUS. A slot is free when its Start
// is 0; the handler only reads the slots and marks them.
struct TGuardSlot {
  std::atomic<std::uintptr_t> Start{0};
  std::atomic<std::uintptr_t> End{0};
  std::atomic<int> Shrank{0};
};
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

// One slot a view; a report run holds a few views at a time.
constexpr int GuardSlotCount = 256;
TGuardSlot GuardSlots[GuardSlotCount];
std::uintptr_t GuardPageSize = 0;
struct sigaction PreviousBusAction {};

void OnBusError(int, siginfo_t* info, void*) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (TGuardSlot& slot : GuardSlots) {
    const std::uintptr_t start = slot.Start.load();
    if (start == 0 || address < start || address >= slot.End.load())
      continue;
    // A page of zeros takes the place of the bytes the file lost; the
    // faulting read then goes on, and the report run learns of it later.
    void* page = reinterpret_cast<void*>(address & ~(GuardPageSize - 1));
    if (::mmap(page, GuardPageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      slot.Shrank.store(1);
      return;
    }
  }
  // Not a read of a guarded view: the fault repeats under the action that
  // was in place before.
  ::sigaction(SIGBUS, &PreviousBusAction, nullptr);
}

int GuardView(const std::uint8_t* data, std::size_t size) {
  static const bool installed = [] {
    GuardPageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGBUS, &action, &PreviousBusAction) == 0;
  }();
  if (!installed)
    return -1;
  for (int i = 0; i < GuardSlotCount; ++i) {
    std::uintptr_t expected = 0;
    TGuardSlot& slot = GuardSlots[i];
    if (slot.Start.load() != 0)
      continue;
    slot.Shrank.store(0);
    slot.End.store(reinterpret_cast<std::uintptr_t>(data) + size);
    if (slot.Start.compare_exchange_strong(expected, reinterpret_cast<std::uintptr_t>(data)))
      return i;
  }
  return -1;
}

} // namespace

TReadOnlyFile::TReadOnlyFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    RaiseOsError(errno);
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    const int code = errno;
    ::close(fd);
    RaiseOsError(code);
  }
  // A folder fails as the system's open of it for reading would on Windows;
  // devices, FIFOs and sockets are refused before a byte is read.
  if (S_ISDIR(status.st_mode)) {
    ::close(fd);
    RaiseOsError(EISDIR);
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(fd);
    throw TNotRegularFileError(path + " is not a regular file");
  }
  FHandle = fd;
}

TReadOnlyFile::~TReadOnlyFile() { ::close(static_cast<int>(FHandle)); }

// POSIX has no mapping object of its own: the mapping stands for the file's
// size, and like Windows it refuses an empty file.
TFileMapping::TFileMapping(const TReadOnlyFile& file) {
  struct stat status {};
  if (::fstat(static_cast<int>(file.Handle()), &status) != 0)
    RaiseOsError(errno);
  if (status.st_size <= 0)
    return;
  FHandle = file.Handle();
  FSize = static_cast<std::uint64_t>(status.st_size);
  FValid = true;
}

TFileMapping::~TFileMapping() = default;

TMappedView::TMappedView(const TFileMapping& mapping, std::uint64_t offset, std::size_t size) {
  void* data =
      ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, static_cast<int>(mapping.Handle()), static_cast<off_t>(offset));
  if (data == MAP_FAILED)
    RaiseOsError(errno);
  FData = static_cast<const std::uint8_t*>(data);
  FSize = size;
  FGuard = GuardView(FData, FSize);
  if (FGuard < 0) {
    // A view that a shrinking file could turn into a crash is not handed out.
    ::munmap(data, size);
    RaiseOsError(EMFILE);
  }
}

TMappedView::~TMappedView() {
  ::munmap(const_cast<std::uint8_t*>(FData), FSize);
  GuardSlots[FGuard].Start.store(0);
}

bool TMappedView::Shrank() const { return GuardSlots[FGuard].Shrank.load() != 0; }

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

std::string SystemText(int code) { return std::strerror(code); }

} // namespace korvane::platform
