// The receiver of a report's values that takes nothing.
#include "ReportValues.h"

namespace korvane {

TReportValues& NoReportValues() {
  static TReportValues none;
  return none;
}

} // namespace korvane
