// The report printed in one job: the pages as the control lays them out, or
// the report's lines drawn here when the control lays out none.
#include "Printing.h"

#include <richedit.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "Handles.h"
#include "OsError.h"
#include "ReportTabs.h"

namespace korvane::viewer {

namespace {

// Past the grid's last stop the control's default stops, half an inch apart.
constexpr int DefaultTabTwips = 720;

// Ends a started print job: cancelled unless it was finished.
class TPrintJob {
public:
  TPrintJob(HDC printer, const std::string& name) : FPrinter(printer) {
    DOCINFOA document{};
    document.cbSize = sizeof document;
    document.lpszDocName = name.c_str();
    if (::StartDocA(printer, &document) <= 0)
      throw LastOsError("The print job cannot be started");
  }
  ~TPrintJob() {
    if (!FEnded)
      ::AbortDoc(FPrinter);
  }
  TPrintJob(const TPrintJob&) = delete;
  TPrintJob& operator=(const TPrintJob&) = delete;

  void End() {
    FEnded = true;
    if (::EndDoc(FPrinter) <= 0)
      throw LastOsError("The print job cannot be ended");
  }

private:
  HDC FPrinter;
  bool FEnded = false;
};

// Lets the control free what it cached for printing.
class TFormatRangeCache {
public:
  explicit TFormatRangeCache(HWND edit) : FEdit(edit) {}
  ~TFormatRangeCache() { ::SendMessageA(FEdit, EM_FORMATRANGE, FALSE, 0); }
  TFormatRangeCache(const TFormatRangeCache&) = delete;
  TFormatRangeCache& operator=(const TFormatRangeCache&) = delete;

private:
  HWND FEdit;
};

void BeginPrinterPage(HDC printer) {
  if (::StartPage(printer) <= 0)
    throw LastOsError("A page cannot be started");
}

void EndPrinterPage(HDC printer) {
  if (::EndPage(printer) <= 0)
    throw LastOsError("A page cannot be ended");
}

// The control holds the report with the printer's tab grid while it lays out
// the pages, and the screen's again afterwards. Without room for the second
// copy of the report that this takes, the pages keep the screen's grid.
class TPrinterTabs {
public:
  TPrinterTabs(TReportFill& fill, const TTabGrid& twips) : FFill(fill) {
    // The layout cached by the first measure is of the screen's stops.
    ::SendMessageA(fill.Control(), EM_FORMATRANGE, FALSE, 0);
    FRestreamed = FFill.RestreamWithTabs(&twips);
  }
  ~TPrinterTabs() {
    if (!FRestreamed)
      return;
    try {
      FFill.RestreamWithTabs(nullptr);
    } catch (...) {
      // Deliberate: without memory for the stream the control keeps the printer's stops.
    }
  }
  TPrinterTabs(const TPrinterTabs&) = delete;
  TPrinterTabs& operator=(const TPrinterTabs&) = delete;

private:
  TReportFill& FFill;
  bool FRestreamed = false;
};

// The pages as the control lays them out.
void PrintControlPages(HWND edit, HDC printer, FORMATRANGE range, LONG length) {
  LONG start = 0;
  for (;;) {
    BeginPrinterPage(printer);
    range.rc = range.rcPage;
    range.chrg.cpMin = start;
    range.chrg.cpMax = -1;
    const auto next = static_cast<LONG>(::SendMessageA(edit, EM_FORMATRANGE, TRUE, reinterpret_cast<LPARAM>(&range)));
    EndPrinterPage(printer);
    // A control that reports no progress would otherwise start pages for ever.
    if (next <= start || next >= length)
      break;
    start = next;
  }
}

// Draws rows of text down the pages of a started job.
class TLinePrinter {
public:
  explicit TLinePrinter(HDC printer)
      : FPrinter(printer), FSelection(printer), FPageWidth(::GetDeviceCaps(printer, HORZRES)),
        FPageHeight(::GetDeviceCaps(printer, VERTRES)), FDpiY(std::max(1, ::GetDeviceCaps(printer, LOGPIXELSY))),
        FDefaultTab(std::max(1, ::MulDiv(DefaultTabTwips, ::GetDeviceCaps(printer, LOGPIXELSX), TwipsPerInch))),
        FTabs(MeasureReportTabGrid(printer)) {}

  int Print(const TMemoryReportView& content) {
    BeginPrinterPage(FPrinter);
    ::SetBkMode(FPrinter, TRANSPARENT);
    const int count = content.LineCount();
    for (int i = 0; i < count; ++i)
      PrintLine(content.Line(i));
    EndPrinterPage(FPrinter);
    return FPages;
  }

private:
  struct TFontEntry {
    int Size;
    bool Bold;
    TFont Font;
  };

  void PrintLine(const TReportLine& line) {
    FLineHeight = UseStyle(line);
    if (FY > 0 && FY + FLineHeight > FPageHeight)
      NewPage();
    std::string_view rest = line.Text;
    const std::vector<int>& stops = FTabs.StopsFor(LeadingTabs(rest));
    int x = 0;
    while (!rest.empty()) {
      if (rest.front() == '\t') {
        x = NextTabStop(stops, x, FDefaultTab);
        rest.remove_prefix(1);
        continue;
      }
      std::string_view segment = rest.substr(0, std::min(rest.find('\t'), rest.size()));
      rest.remove_prefix(segment.size());
      while (!segment.empty()) {
        const int count = static_cast<int>(std::min<std::size_t>(segment.size(), 0x7FFF));
        int fit = 0;
        SIZE extent{};
        ::GetTextExtentExPointA(FPrinter, segment.data(), count, std::max(0, FPageWidth - x), &fit, nullptr, &extent);
        if (fit <= 0 && x == 0)
          fit = 1; // a character wider than the page still goes on paper
        if (fit > 0) {
          ::TextOutA(FPrinter, x, FY, segment.data(), fit);
          SIZE drawn{};
          ::GetTextExtentPoint32A(FPrinter, segment.data(), fit, &drawn);
          x += drawn.cx;
          segment.remove_prefix(static_cast<std::size_t>(fit));
        }
        if (!segment.empty() || x >= FPageWidth) {
          NextRow();
          x = 0;
        }
      }
    }
    FY += FLineHeight;
  }

  void NextRow() {
    FY += FLineHeight;
    if (FY + FLineHeight > FPageHeight)
      NewPage();
  }

  void NewPage() {
    EndPrinterPage(FPrinter);
    BeginPrinterPage(FPrinter);
    ++FPages;
    FY = 0;
    // Some drivers reset the device context with every page.
    ::SetBkMode(FPrinter, TRANSPARENT);
    ::SelectObject(FPrinter, FCurrent);
    ::SetTextColor(FPrinter, FColour);
  }

  // Selects the line's font and colour; the height of its rows.
  int UseStyle(const TReportLine& line) {
    FCurrent = FontFor(line.Size, line.Bold);
    FSelection.Select(FCurrent);
    FColour = line.Colour == ColourDefault ? RGB(0, 0, 0) : static_cast<COLORREF>(line.Colour & 0xFFFFFF);
    ::SetTextColor(FPrinter, FColour);
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(FPrinter, &metrics);
    return std::max(1, static_cast<int>(metrics.tmHeight + metrics.tmExternalLeading));
  }

  HFONT FontFor(int size, bool bold) {
    for (const TFontEntry& entry : FFonts)
      if (entry.Size == size && entry.Bold == bold)
        return entry.Font.Get();
    TFont font = CreateReportFont(size, bold, FDpiY);
    if (!font.Valid())
      throw LastOsError("The report font for printing");
    FFonts.push_back({size, bold, std::move(font)});
    return FFonts.back().Font.Get();
  }

  HDC FPrinter;
  // Declared before the fonts, so that they are deselected before they go.
  std::vector<TFontEntry> FFonts;
  TFontSelection FSelection;
  HFONT FCurrent = nullptr;
  COLORREF FColour = 0;
  int FPageWidth;
  int FPageHeight;
  int FDpiY;
  int FDefaultTab;
  TTabGrid FTabs;
  int FLineHeight = 1;
  int FY = 0;
  int FPages = 1;
};

} // namespace

int PrintReportLines(HDC printer, const TMemoryReportView& content) { return TLinePrinter(printer).Print(content); }

void PrintReport(TReportFill& fill, HDC printer, const std::string& title) {
  const HWND edit = fill.Control();
  TPrintJob job(printer, title);
  TFormatRangeCache cache(edit);
  // The page is the printer's whole printable area, in twips.
  const int dpiX = ::GetDeviceCaps(printer, LOGPIXELSX);
  const int dpiY = ::GetDeviceCaps(printer, LOGPIXELSY);
  FORMATRANGE range{};
  range.hdc = printer;
  range.hdcTarget = printer;
  range.rcPage.right = dpiX > 0 ? ::MulDiv(::GetDeviceCaps(printer, HORZRES), TwipsPerInch, dpiX) : 0;
  range.rcPage.bottom = dpiY > 0 ? ::MulDiv(::GetDeviceCaps(printer, VERTRES), TwipsPerInch, dpiY) : 0;
  range.rc = range.rcPage;
  range.chrg.cpMin = 0;
  range.chrg.cpMax = -1;
  const auto length = static_cast<LONG>(::SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0));
  // Measured first, not drawn: does the control lay out the first page at all?
  const auto laidOut = static_cast<LONG>(::SendMessageA(edit, EM_FORMATRANGE, FALSE, reinterpret_cast<LPARAM>(&range)));
  if (length == 0) {
    PrintControlPages(edit, printer, range, length);
  } else if (laidOut > 0) {
    const TPrinterTabs tabs(fill, MeasureReportTabGrid(printer).Scaled(TwipsPerInch, std::max(1, dpiX)));
    PrintControlPages(edit, printer, range, length);
  } else {
    PrintReportLines(printer, fill.Content());
  }
  job.End();
}

} // namespace korvane::viewer
