// The text of a PE time stamp in the user's date and time formats.
#include "TimeStamp.h"

namespace korvane {

TCivilTime CivilTimeFromTimeStamp(std::uint32_t seconds) {
  // Days to civil date after H. Hinnant's algorithm; all values stay positive
  // because the count starts at 1970 and is unsigned.
  const std::int64_t days = seconds / 86400;
  const std::int64_t secondsOfDay = seconds % 86400;
  const std::int64_t z = days + 719468;
  const std::int64_t era = z / 146097;
  const std::int64_t dayOfEra = z - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

  TCivilTime time;
  time.Year = static_cast<int>(year);
  time.Month = static_cast<int>(month);
  time.Day = static_cast<int>(day);
  time.Hour = static_cast<int>(secondsOfDay / 3600);
  time.Minute = static_cast<int>(secondsOfDay / 60 % 60);
  time.Second = static_cast<int>(secondsOfDay % 60);
  return time;
}

std::string TimeStampText(std::uint32_t seconds, const TDateTimeFormatter& formatter) {
  const TCivilTime time = CivilTimeFromTimeStamp(seconds);
  std::string text = formatter.ShortDate(time);
  if (seconds % 86400 != 0)
    text += ' ' + formatter.LongTime(time);
  return text;
}

} // namespace korvane
