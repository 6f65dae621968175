// Platform services: the operating-system message, the file title and the
// user's date and time formats.
#include <gtest/gtest.h>

#include <clocale>

#include "Errors.h"
#include "Platform.h"
#include "TimeStamp.h"

namespace korvane {
namespace {

TEST(SystemErrorText, TrailingBlanksControlsAndFullStopsAreRemoved) {
  const std::pair<const char*, const char*> cases[] = {
      {"The system cannot find the file specified.\r\n", "The system cannot find the file specified"},
      {"Access is denied. . \t", "Access is denied"},
      {"No such file or directory", "No such file or directory"},
      {"...", ""},
      {"", ""},
  };
  for (const auto& [system, trimmed] : cases) {
    SCOPED_TRACE(system);
    EXPECT_EQ(SystemErrorMessage(5, system), std::string("System Error.  Code: 5.\r\n") + trimmed);
  }
}

TEST(FileTitles, LastSeparatorDecides) {
#ifdef _WIN32
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Windows\\notepad.exe", "notepad.exe"},
      {"C:notepad.exe", "notepad.exe"},
      {"notepad.exe", "notepad.exe"},
      {"C:\\dir\\", ""},
      {"dir/sub/x.exe", "dir/sub/x.exe"},
  };
#else
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/lib/x.dll", "x.dll"},
      {"x.dll", "x.dll"},
      {"a\\b:c.exe", "a\\b:c.exe"},
      {"/tmp/", ""},
  };
#endif
  for (const auto& [path, title] : cases) {
    SCOPED_TRACE(path);
    EXPECT_EQ(platform::FileTitle(path), title);
  }
}

TEST(LocaleTimeStamp, DateThenTimeUnlessMidnight) {
  const TDateTimeFormatter& formatter = platform::LocaleDateTimeFormatter();
  const TCivilTime midnight = CivilTimeFromTimeStamp(0);
  const TCivilTime one = CivilTimeFromTimeStamp(3600);
  EXPECT_EQ(TimeStampText(0, formatter), formatter.ShortDate(midnight));
  EXPECT_EQ(TimeStampText(3600, formatter), formatter.ShortDate(one) + " " + formatter.LongTime(one));
  EXPECT_NE(formatter.LongTime(one).find("00"), std::string::npos);
#ifndef _WIN32
  // The C locale (the tests run with LC_ALL=C): %m/%d/%y and %H:%M:%S.
  EXPECT_EQ(TimeStampText(3600, formatter), "01/01/70 01:00:00");
  EXPECT_EQ(TimeStampText(0x80000000, formatter), "01/19/38 03:14:08");
#endif
}

} // namespace
} // namespace korvane
