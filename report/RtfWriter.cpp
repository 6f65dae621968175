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
  return ReportLinesToRtf(view, {0, view.LineCount()}, codePage, tabs);
}

std::string ReportLinesToRtf(const TMemoryReportView& view, TLineRange lines, unsigned codePage, const TTabGrid* tabs) {
  const int first = std::clamp(lines.First, 0, view.LineCount());
  const int end = std::clamp(lines.First + std::max(lines.Count, 0), first, view.LineCount());
  std::vector<std::uint32_t> colours;
  for (int i = first; i < end; ++i) {
    const std::uint32_t colour = view.Line(i).Colour;
    if (colour != ColourDefault && std::find(colours.begin(), colours.end(), colour) == colours.end())
      colours.push_back(colour);
  }

  std::string rtf =
      "{\\rtf1\\ansi\\ansicpg" + std::to_string(codePage) + "\\deff0{\\fonttbl{\\f0\\fswiss " + ReportFontFace + ";}}";
  rtf += "{\\colortbl;";
  for (const std::uint32_t colour : colours) {
    // A Windows colour value keeps red in its low byte.
    rtf += "\\red" + std::to_string(colour & 0xFF) + "\\green" + std::to_string((colour >> 8) & 0xFF) + "\\blue" +
           std::to_string((colour >> 16) & 0xFF) + ";";
  }
  // Outside the line groups: the line breaks take the body size.
  rtf += "}\\f0\\fs" + std::to_string(ReportBodySize * 2) + "\n";
  // The control drops the break after the last line of a document that
  // replaces its content, and keeps every break of one inserted at its end:
  // lines after the first stand after their break, so that the pieces of a
  // report join into the same text.
  const bool appended = first > 0;
  // The paragraph format outside the line groups, which would undo it; an
  // appended piece starts with the stops the lines before it left.
  const std::vector<int>* current = nullptr;
  if (tabs != nullptr && !appended) {
    current = &tabs->StopsFor(1);
    AppendTabStops(rtf, *current);
  }
  for (int i = first; i < end; ++i) {
    const TReportLine& line = view.Line(i);
    if (appended)
      rtf += "\\par\n";
    if (tabs != nullptr) {
      int leading = LeadingTabs(line.Text);
      if (current == nullptr && leading == 0) {
        // The stops of the last line before it that holds a TAB, as in the
        // whole document.
        leading = 1;
        for (int k = i - 1; k >= 0; --k)
          if (const int tabsBefore = LeadingTabs(view.Line(k).Text); tabsBefore > 0) {
            leading = tabsBefore;
            break;
          }
      }
      if (leading > 0 && &tabs->StopsFor(leading) != current) {
        current = &tabs->StopsFor(leading);
        AppendTabStops(rtf, *current);
      }
    }
    if (line.Size == ReportBodySize && !line.Bold && line.Colour == ColourDefault) {
      // A plain line keeps the document's format: no group to open and close.
      AppendEscaped(rtf, line.Text);
      if (!appended)
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
    rtf += appended ? "}" : "}\\par\n";
  }
  rtf += "}\n";
  return rtf;
}

} // namespace korvane
