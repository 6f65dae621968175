// The labels the report writes before a TAB-aligned value, with their TABs.
#include "ColumnLabels.h"

namespace korvane {

std::string LabelLead(const TColumnLabel& label) {
  std::string lead(label.Text);
  lead.append(static_cast<std::size_t>(label.Tabs), '\t');
  return lead;
}

} // namespace korvane
