// The open, print and find dialogs of the viewer.
#include "Dialogs.h"

#include <dlgs.h>

#include "Errors.h"

namespace korvane::viewer {

UINT FindMessage() {
  static const UINT message = ::RegisterWindowMessageA(FINDMSGSTRINGA);
  return message;
}

bool TOpenDialog::Execute(HWND owner) {
  static constexpr char Filter[] = "Executable Files (*.exe;*.dll)\0*.exe;*.dll\0";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = Filter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = FFileName.data();
  dialog.nMaxFile = static_cast<DWORD>(FFileName.size());
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_ENABLESIZING | OFN_EXPLORER;
  if (::GetOpenFileNameA(&dialog))
    return true;
  if (const DWORD code = ::CommDlgExtendedError(); code != 0)
    throw TKorvaneError("The open dialog failed with code " + std::to_string(code));
  return false;
}

TPrinterDc TPrintDialog::Execute(HWND owner) {
  PRINTDLGA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.hDevMode = FDevMode.Release();
  dialog.hDevNames = FDevNames.Release();
  // The printer's driver makes the copies the user asked for.
  dialog.Flags =
      PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION | PD_HIDEPRINTTOFILE | PD_NOWARNING | PD_USEDEVMODECOPIESANDCOLLATE;
  dialog.nCopies = 1;
  const BOOL confirmed = ::PrintDlgA(&dialog);
  FDevMode.Reset(dialog.hDevMode);
  FDevNames.Reset(dialog.hDevNames);
  TPrinterDc printer(confirmed ? dialog.hDC : nullptr);
  if (!confirmed) {
    const DWORD code = ::CommDlgExtendedError();
    if (code == PDERR_NODEFAULTPRN)
      throw TKorvaneError("No printer is installed");
    if (code != 0)
      throw TKorvaneError("The print dialog failed with code " + std::to_string(code));
  } else if (!printer.Valid()) {
    throw TKorvaneError("The print dialog gave no printer");
  }
  return printer;
}

TFindDialog::TFindDialog() {
  FRecord.lStructSize = sizeof FRecord;
  FRecord.Flags = FR_DOWN | FR_NOUPDOWN;
  FRecord.lpstrFindWhat = FFindWhat.data();
  FRecord.wFindWhatLen = static_cast<WORD>(FFindWhat.size());
}

bool TFindDialog::Execute(HWND owner) {
  if (FWindow.Valid() && ::IsWindow(FWindow.Get())) {
    ::ShowWindow(FWindow.Get(), SW_SHOW);
    ::BringWindowToTop(FWindow.Get());
    ::SetActiveWindow(FWindow.Get());
    return false;
  }
  FWindow.Release(); // gone without telling us (with its owner); not ours to destroy
  FRecord.hwndOwner = owner;
  FRecord.Flags = FR_DOWN | FR_NOUPDOWN | FOptions;
  const HWND window = ::FindTextA(&FRecord);
  if (window == nullptr) {
    const DWORD code = ::CommDlgExtendedError();
    throw TKorvaneError("The find dialog failed with code " + std::to_string(code));
  }
  FWindow.Reset(window);
  return true;
}

void TFindDialog::Closed() {
  // Closing clears the options in the record; the check boxes (chx1 whole
  // word, chx2 match case) still show them while the message is handled.
  if (const HWND window = FWindow.Get(); window != nullptr && ::IsWindow(window))
    FOptions = (::IsDlgButtonChecked(window, chx2) == BST_CHECKED ? FR_MATCHCASE : 0) |
               (::IsDlgButtonChecked(window, chx1) == BST_CHECKED ? FR_WHOLEWORD : 0);
  FWindow.Release();
}

bool TFindDialog::Destroy() {
  const bool open = FWindow.Valid() && ::IsWindow(FWindow.Get());
  if (open)
    FWindow.Reset();
  else
    FWindow.Release();
  return open;
}

} // namespace korvane::viewer
