// The receiver of a report's values that takes nothing.
#include "ReportFacts.h"

namespace korvane {

TReportFacts& NoReportFacts() {
  static TReportFacts none;
  return none;
}

} // namespace korvane
