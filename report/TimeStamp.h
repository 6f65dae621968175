// The text of a PE time stamp in the user's date and time formats.
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

/// A moment of the proleptic Gregorian calendar, no time zone.
struct TCivilTime {
  int Year = 1970;
  int Month = 1; // 1..12
  int Day = 1;   // 1..31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

/// 1970-01-01 00:00:00 plus seconds (an unsigned 32-bit count).
TCivilTime CivilTimeFromTimeStamp(std::uint32_t seconds);

/// Formats a date and a time the way the user asked for them.
class TDateTimeFormatter {
public:
  virtual ~TDateTimeFormatter() = default;
  virtual std::string ShortDate(const TCivilTime& time) const = 0;
  virtual std::string LongTime(const TCivilTime& time) const = 0;
};

/// The date, then a blank and the time unless the time is exactly midnight.
std::string TimeStampText(std::uint32_t seconds, const TDateTimeFormatter& formatter);

} // namespace korvane
