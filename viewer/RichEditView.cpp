// The report view over the viewer's rich edit control (edMain).
#include "RichEditView.h"

#include <richedit.h>

#include <cstring>
#include <vector>

namespace korvane::viewer {

void TRichEditView::ReserveForFile(std::uint64_t fileBytes) { FReport.ReserveForFile(fileBytes); }

void TRichEditView::BeginUpdate() {
  if (FUpdateDepth++ == 0) {
    ::SendMessageA(FEdit, WM_SETREDRAW, FALSE, 0);
    FCaretRequest = TCaretRequest::None;
  }
}

void TRichEditView::EndUpdate() {
  if (FUpdateDepth == 0 || --FUpdateDepth > 0)
    return;
  // EndUpdate runs from guards while a failure travels out: it must not throw.
  try {
    if (FStreamPending) {
      FStreamPending = false;
      FFill.UpdateEnded();
    }
  } catch (...) {
    // Deliberate: without memory for the stream the control keeps its old text.
  }
  ApplyCaret(FCaretRequest);
  FCaretRequest = TCaretRequest::None;
  ::SendMessageA(FEdit, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(FEdit, nullptr, TRUE);
}

void TRichEditView::Changed() {
  if (FUpdateDepth > 0) {
    FStreamPending = true;
    return;
  }
  BeginUpdate();
  FStreamPending = true;
  EndUpdate();
}

void TRichEditView::ApplyCaret(TCaretRequest request) {
  if (request == TCaretRequest::None)
    return;
  ::SendMessageA(FEdit, EM_SETSEL, 0, 0);
  if (request == TCaretRequest::ResetAndScroll)
    ::SendMessageA(FEdit, EM_SCROLLCARET, 0, 0);
}

void TRichEditView::Clear() {
  FReport.Clear();
  Changed();
}

int TRichEditView::AddLine(std::string_view text) {
  const int index = FReport.AddLine(text);
  Changed();
  return index;
}

void TRichEditView::SetText(std::string_view text) {
  FReport.SetText(text);
  Changed();
}

std::string TRichEditView::LineText(int index) const {
  // During an update or the fill the control does not hold the line yet.
  if (Updating() || index >= FFill.FilledLines())
    return FReport.Content().LineText(index);
  const LRESULT start = ::SendMessageA(FEdit, EM_LINEINDEX, static_cast<WPARAM>(index), 0);
  if (index < 0 || start < 0)
    return {};
  const LRESULT length = ::SendMessageA(FEdit, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
  if (length <= 0)
    return {};
  // EM_GETLINE reads the buffer size from its first word and may add the break.
  std::vector<char> buffer(static_cast<std::size_t>(length) + 3 > sizeof(WORD) ? static_cast<std::size_t>(length) + 3
                                                                               : sizeof(WORD));
  const WORD capacity = static_cast<WORD>(buffer.size() > 0xFFFF ? 0xFFFF : buffer.size());
  std::memcpy(buffer.data(), &capacity, sizeof capacity);
  const LRESULT copied =
      ::SendMessageA(FEdit, EM_GETLINE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  const std::size_t kept = static_cast<std::size_t>(copied < length ? (copied < 0 ? 0 : copied) : length);
  return std::string(buffer.data(), kept);
}

void TRichEditView::FormatLine(int index, int size, std::uint32_t colour, bool bold) {
  FReport.FormatLine(index, size, colour, bold);
  Changed();
}

void TRichEditView::SetLeftMargin(int pixels) {
  ::SendMessageA(FEdit, EM_SETMARGINS, EC_LEFTMARGIN, MAKELPARAM(pixels, 0));
}

void TRichEditView::ResetCaret() {
  if (FUpdateDepth > 0)
    FCaretRequest = TCaretRequest::ResetAndScroll;
  else
    ApplyCaret(TCaretRequest::ResetAndScroll);
}

void TRichEditView::SelectStart() {
  if (FUpdateDepth > 0)
    FCaretRequest = TCaretRequest::SelectStart;
  else
    ApplyCaret(TCaretRequest::SelectStart);
}

} // namespace korvane::viewer
