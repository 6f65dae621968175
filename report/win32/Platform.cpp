// Win32 side of the platform services: CreateFileA/CreateFileMappingA/
// MapViewOfFile, and the thread locale's date and time formats.
#include "../Platform.h"

#include <windows.h>

#include "../Errors.h"

namespace korvane::platform {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

[[noreturn]] void RaiseLastError() { throw SystemError(static_cast<int>(::GetLastError())); }

} // namespace

std::string SystemText(int code) {
  char buffer[256];
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  return std::string(buffer, length);
}

TReadOnlyFile::TReadOnlyFile(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw SystemError(static_cast<int>(::GetLastError()));
  }
  FHandle = reinterpret_cast<std::intptr_t>(file);
}

TReadOnlyFile::~TReadOnlyFile() { ::CloseHandle(AsHandle(FHandle)); }

TFileMapping::TFileMapping(const TReadOnlyFile& file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(AsHandle(file.Handle()), &size))
    RaiseLastError();
  // Windows refuses to map a file of length 0: an empty file has no mapping.
  if (size.QuadPart <= 0)
    return;
  HANDLE mapping = ::CreateFileMappingA(AsHandle(file.Handle()), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr)
    RaiseLastError();
  FHandle = reinterpret_cast<std::intptr_t>(mapping);
  FSize = static_cast<std::uint64_t>(size.QuadPart);
  FValid = true;
}

TFileMapping::~TFileMapping() {
  if (FValid)
    ::CloseHandle(AsHandle(FHandle));
}

TMappedView::TMappedView(const TFileMapping& mapping, std::uint64_t offset, std::size_t size) {
  void* data = ::MapViewOfFile(AsHandle(mapping.Handle()), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                               static_cast<DWORD>(offset), size);
  if (data == nullptr)
    RaiseLastError();
  FData = static_cast<const std::uint8_t*>(data);
  FSize = size;
}

TMappedView::~TMappedView() { ::UnmapViewOfFile(FData); }

// The file is open with FILE_SHARE_READ only: no other program can write it,
// let alone shorten it, while the view exists.
bool TMappedView::Shrank() const { return false; }

std::string FileTitle(std::string_view path) {
  // The second byte of a double-byte character may equal "\" and is no separator.
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto byte = static_cast<BYTE>(path[i]);
    if (::IsDBCSLeadByte(byte)) {
      ++i;
      continue;
    }
    if (byte == '\\' || byte == ':')
      start = i + 1;
  }
  return std::string(path.substr(start < path.size() ? start : path.size()));
}

namespace {

std::string LocaleText(LCID locale, LCTYPE type) {
  char buffer[128];
  const int length = ::GetLocaleInfoA(locale, type, buffer, sizeof buffer);
  return length > 1 ? std::string(buffer, static_cast<std::size_t>(length - 1)) : std::string();
}

class TLocaleFormatter final : public TDateTimeFormatter {
public:
  TLocaleFormatter() {
    const LCID locale = ::GetThreadLocale();
    FLocale = locale;
    FShortDate = LocaleText(locale, LOCALE_SSHORTDATE);
    if (FShortDate.empty())
      FShortDate = "M/d/yy";
    FTimeSeparator = LocaleText(locale, LOCALE_STIME);
    if (FTimeSeparator.empty())
      FTimeSeparator = ":";
    FHoursLeadingZero = LocaleText(locale, LOCALE_ITLZERO) == "1";
    FTwelveHourClock = LocaleText(locale, LOCALE_ITIME) != "1";
    FAm = LocaleText(locale, LOCALE_S1159);
    FPm = LocaleText(locale, LOCALE_S2359);
    FMarkerFirst = LocaleText(locale, LOCALE_ITIMEMARKPOSN) == "1";
  }

  std::string ShortDate(const TCivilTime& time) const override {
    SYSTEMTIME moment{};
    moment.wYear = static_cast<WORD>(time.Year);
    moment.wMonth = static_cast<WORD>(time.Month);
    moment.wDay = static_cast<WORD>(time.Day);
    moment.wDayOfWeek = 0;
    char buffer[256];
    const int length = ::GetDateFormatA(FLocale, 0, &moment, FShortDate.c_str(), buffer, sizeof buffer);
    return length > 1 ? std::string(buffer, static_cast<std::size_t>(length - 1)) : std::string();
  }

  std::string LongTime(const TCivilTime& time) const override {
    int hour = time.Hour;
    if (FTwelveHourClock) {
      hour %= 12;
      if (hour == 0)
        hour = 12;
    }
    std::string text;
    if (FHoursLeadingZero && hour < 10)
      text += '0';
    text += std::to_string(hour) + FTimeSeparator + TwoDigits(time.Minute) + FTimeSeparator + TwoDigits(time.Second);
    if (FTwelveHourClock) {
      const std::string& marker = time.Hour < 12 ? FAm : FPm;
      if (!marker.empty())
        text = FMarkerFirst ? marker + ' ' + text : text + ' ' + marker;
    }
    return text;
  }

private:
  static std::string TwoDigits(int value) {
    return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
  }

  LCID FLocale = 0;
  std::string FShortDate;
  std::string FTimeSeparator;
  bool FHoursLeadingZero = false;
  bool FTwelveHourClock = false;
  std::string FAm;
  std::string FPm;
  bool FMarkerFirst = false;
};

} // namespace

const TDateTimeFormatter& LocaleDateTimeFormatter() {
  static const TLocaleFormatter formatter;
  return formatter;
}

} // namespace korvane::platform
