// The in-memory report as an RTF document that keeps its styles.
#include "RtfWriter.h"

#include <algorithm>
#include <vector>

#include "ReportStyle.h"

namespace korvane {

namespace {

void AppendEscaped(std::string& rtf, const std::string& text) {
  static constexpr char Digits[] = "0123456789abcdef";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\' || byte == '{' || byte == '}') {
      rtf += '\\';
      rtf += c;
    } else if (byte == '\t') {
      rtf += "\\tab ";
    } else if (byte < 0x20 || byte >= 0x80) {
      rtf += "\\'";
      rtf += Digits[byte >> 4];
      rtf += Digits[byte & 0xF];
    } else {
      rtf += c;
    }
  }
}

// A paragraph format holding only these tab stops; it lasts until the next.
void AppendTabStops(std::string& rtf, const std::vector<int>& stops) {
  rtf += "\\pard";
  for (const int stop : stops)
    rtf += "\\tx" + std::to_string(stop);
  rtf += ' ';
}

} // namespace

std::string ReportToRtf(const TMemoryReportView& view, unsigned codePage, const TTabGrid* tabs) {
  const int count = view.LineCount();
  std::vector<std::uint32_t> colours;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t colour = view.Line(i).Colour;
    if (colour != ColourDefault && std::find(colours.begin(), colours.end(), colour) == colours.end())
      colours.push_back(colour);
  }

  std::string rtf =
      "{\\rtf1\\ansi\\ansicpg" + std::to_string(codePage) + "\\deff0{\\fonttbl{\\f0\\fswiss " + ReportFontFace + ";}}";
  rtf += "{\\colortbl;";
  for (const std::uint32_t colour : colours) {
    // A Windows colour value keeps red in its low byte.
    rtf += "\\red" + std::to_string(colour & 0xFF) + "\\green" + std::to_string((colour >> 8) & 0xFF) +
           "\\blue" + std::to_string((colour >> 16) & 0xFF) + ";";
  }
  // Outside the line groups: the line breaks take the body size.
  rtf += "}\\f0\\fs" + std::to_string(ReportBodySize * 2) + "\n";
  // The paragraph format outside the line groups, which would undo it.
  const std::vector<int>* current = nullptr;
  if (tabs != nullptr) {
    current = &tabs->StopsFor(1);
    AppendTabStops(rtf, *current);
  }
  for (int i = 0; i < count; ++i) {
    const TReportLine& line = view.Line(i);
    if (tabs != nullptr) {
      const int leading = LeadingTabs(line.Text);
      if (leading > 0 && &tabs->StopsFor(leading) != current) {
        current = &tabs->StopsFor(leading);
        AppendTabStops(rtf, *current);
      }
    }
    if (line.Size == ReportBodySize && !line.Bold && line.Colour == ColourDefault) {
      // A plain line keeps the document's format: no group to open and close.
      AppendEscaped(rtf, line.Text);
      rtf += "\\par\n";
      continue;
    }
    rtf += "{\\f0\\fs" + std::to_string(line.Size * 2);
    if (line.Bold)
      rtf += "\\b";
    if (line.Colour != ColourDefault) {
      const auto index = std::find(colours.begin(), colours.end(), line.Colour) - colours.begin();
      rtf += "\\cf" + std::to_string(index + 1);
    }
    rtf += ' ';
    AppendEscaped(rtf, line.Text);
    rtf += "}\\par\n";
  }
  rtf += "}\n";
  return rtf;
}

} // namespace korvane
