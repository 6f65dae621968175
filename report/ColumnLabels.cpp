// The labels the report writes before a TAB-aligned value, with their TABs.
#include "ColumnLabels.h"

#include "DosHeader.h"
#include "Exports.h"
#include "PeHeader.h"

namespace korvane {

std::string LabelLead(const TColumnLabel& label) {
  std::string lead(label.Text);
  lead.append(static_cast<std::size_t>(label.Tabs), '\t');
  return lead;
}

std::vector<TColumnLabel> ReportColumnLabels() {
  std::vector<TColumnLabel> labels;
  for (const std::span<const TColumnLabel> part : {DosHeaderLabels(), PeHeaderLabels(), ExportColumnLabels()})
    labels.insert(labels.end(), part.begin(), part.end());
  return labels;
}

} // namespace korvane
