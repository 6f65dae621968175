// The three standard dialogs of the viewer: open file, print and find.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <string>

#include "Handles.h"

namespace korvane::viewer {

/// The message through which the find dialog reports to its owner.
UINT FindMessage();

/// The file-open dialog; keeps the last chosen name between uses.
class TOpenDialog {
public:
  /// Shows the dialog modally; false when the user cancels.
  bool Execute(HWND owner);
  std::string FileName() const { return FFileName.data(); }

private:
  std::array<char, 4096> FFileName{};
};

/// The print dialog; keeps the chosen printer and its settings between uses.
class TPrintDialog {
public:
  /// Shows the dialog modally; the chosen printer's device context, or none
  /// when the user cancels.
  TPrinterDc Execute(HWND owner);

private:
  TGlobalMemory FDevMode;
  TGlobalMemory FDevNames;
};

/// The modeless find dialog: downwards only, match case and whole word
/// offered. It tells its owner of Find Next and of its closing through the
/// registered FINDMSGSTRING message, and keeps its text and check boxes
/// between uses.
class TFindDialog {
public:
  TFindDialog();
  TFindDialog(const TFindDialog&) = delete;
  TFindDialog& operator=(const TFindDialog&) = delete;

  /// Shows the dialog and returns true; when it is already shown it is only
  /// brought to the top and the result is false.
  bool Execute(HWND owner);
  /// Find Next was pressed: its options are those of the next showing.
  void Remember() { FOptions = FRecord.Flags & (FR_MATCHCASE | FR_WHOLEWORD); }
  /// The dialog is closing itself; its window goes right after.
  void Closed();
  /// Closes the dialog from our side; true when it was open.
  bool Destroy();
  HWND Handle() const { return FWindow.Get(); }
  bool IsOwnRecord(LPARAM lParam) const { return lParam == reinterpret_cast<LPARAM>(&FRecord); }
  DWORD Flags() const { return FRecord.Flags; }
  std::string SearchText() const {
    return std::string(FFindWhat.begin(), std::find(FFindWhat.begin(), FFindWhat.end(), '\0'));
  }

private:
  // The dialog writes into both while it is open: they outlive its window.
  std::array<char, 256> FFindWhat{}; // at most 255 characters and the zero
  FINDREPLACEA FRecord{};
  DWORD FOptions = 0;
  TWindow FWindow;
};

} // namespace korvane::viewer
