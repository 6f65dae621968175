// The report as lines of 8-bit text with one style per line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

/// Colour value that tells FormatLine to leave a line's colour unchanged.
inline constexpr std::uint32_t ColourUnchanged = 0x20000000;
/// RGB(255, 0, 0) as a Windows colour value.
inline constexpr std::uint32_t ColourRed = 0x000000FF;

/// The operations that the report writers use on the report control.
class TReportView {
public:
  virtual ~TReportView() = default;

  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void Clear() = 0;
  /// Appends text and a line break at the end; every line feed in text also
  /// ends a line. Returns the index of the first line added.
  virtual int AddLine(std::string_view text) = 0;
  /// Replaces the whole content by the lines of text.
  virtual void SetText(std::string_view text) = 0;
  /// The text of a line without its line break.
  virtual std::string LineText(int index) const = 0;
  virtual void FormatLine(int index, int size, std::uint32_t colour, bool bold) = 0;
  virtual void SetLeftMargin(int pixels) = 0;
  /// Selects the empty range at position 0 and scrolls the caret into view.
  virtual void ResetCaret() = 0;
  /// Selects the empty range at position 0 without scrolling.
  virtual void SelectStart() = 0;
  /// The report about to be written is that of a file of fileBytes bytes:
  /// a view that keeps the report may make room for it. Never fails.
  virtual void ReserveForFile(std::uint64_t fileBytes) { static_cast<void>(fileBytes); }

  /// AddLine, then the line in bold at size points, colour unchanged.
  int AddStyledLine(std::string_view text, int size);
};

/// The view of a report that goes out as data only: it counts the lines,
/// so that what they are numbered by stays right, and keeps nothing else.
class TNullReportView final : public TReportView {
public:
  void BeginUpdate() override {}
  void EndUpdate() override {}
  void Clear() override { FLines = 0; }
  int AddLine(std::string_view text) override;
  void SetText(std::string_view text) override;
  std::string LineText(int) const override { return {}; }
  void FormatLine(int, int, std::uint32_t, bool) override {}
  void SetLeftMargin(int) override {}
  void ResetCaret() override {}
  void SelectStart() override {}

private:
  int FLines = 0;
};

/// Brackets a report: BeginUpdate now, EndUpdate when it goes out of scope,
/// also when a failure travels through.
class TUpdateGuard {
public:
  explicit TUpdateGuard(TReportView& view) : FView(view) { FView.BeginUpdate(); }
  ~TUpdateGuard() { FView.EndUpdate(); }
  TUpdateGuard(const TUpdateGuard&) = delete;
  TUpdateGuard& operator=(const TUpdateGuard&) = delete;

private:
  TReportView& FView;
};

} // namespace korvane
