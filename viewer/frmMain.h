// The viewer form: the report control, the actions with their menu and tool
// bar, the glyphs and the standard dialogs, and the handlers of the commands.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CommandPool.h"
#include "FindState.h"
#include "Handles.h"
#include "ReportDriver.h"
#include "RichEditView.h"

namespace korvane::viewer {

class TKorvaneFrame;

/// A named command: what its menu items and tool buttons show, and its handler.
struct TAction {
  const char* Name;
  const char* Caption;  // "&" marks the mnemonic
  const char* Hint;     // nullptr: none
  int ImageIndex;       // -1: none
  std::uint16_t ShortCut;
  void (TKorvaneFrame::*Execute)();
};

/// One item of MainMenu1. A separator's caption is "-".
class TMenuItem {
public:
  TMenuItem(const char* name, const char* caption, const TAction* action = nullptr)
      : Name(name), Caption(caption), Action(action) {}

  /// The caption, and for an item with a shortcut a TAB and the shortcut's name.
  std::string Text() const;
  std::uint16_t ShortCut() const { return Action != nullptr ? Action->ShortCut : 0; }
  bool IsSeparator() const { return Caption == "-"; }
  std::uint16_t Command() const { return FCommand.Value(); }

  const char* Name;
  std::string Caption;
  const TAction* Action;
  std::vector<const TMenuItem*> Items;

private:
  TCommandId FCommand;
};

/// A tool button bound to an action, or a separator (no action) of Width pixels.
struct TToolButton {
  const char* Name;
  int Left;
  const TAction* Action;
  int Width;
};

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
  std::string FindText() const {
    return std::string(FFindWhat.begin(), std::find(FFindWhat.begin(), FFindWhat.end(), '\0'));
  }

private:
  // The dialog writes into both while it is open: they outlive its window.
  std::array<char, 256> FFindWhat{};  // at most 255 characters and the zero
  FINDREPLACEA FRecord{};
  DWORD FOptions = 0;
  TWindow FWindow;
};

class TKorvaneFrame {
public:
  /// Makes the form, hidden, as a child of parentWindow at 0, 0.
  TKorvaneFrame(HWND hostWindow, HWND parentWindow);
  ~TKorvaneFrame();
  TKorvaneFrame(const TKorvaneFrame&) = delete;
  TKorvaneFrame& operator=(const TKorvaneFrame&) = delete;

  /// The form bound to a window of this module's viewer class, or nullptr.
  static TKorvaneFrame* FromWindow(HWND window);

  HWND Handle() const { return FHandle.Get(); }
  HWND HostWindow() const { return FHostWindow; }
  HMENU MenuHandle() const { return MainMenu1.Get(); }
  HWND ToolBarHandle() const { return ToolBar1.Get(); }
  HWND ReportHandle() const { return edMain.Get(); }

  /// Takes ToolBar1 out of the form into the host window and shows it there.
  void MoveToolBarTo(HWND hostWindow);
  /// An accelerator table from the shortcuts of MainMenu1's items; nullptr
  /// when no item has one. The caller owns the table.
  HACCEL CreateAccelerators() const;
  void Show();

  void BuildReport(const std::string& path) { FDriver->BuildReport(path); }
  const char* GetFileKindText() const { return FDriver->GetFileKindText(); }
  const std::string& FileName() const { return FDriver->FileName(); }

  void FormResize();
  void actFileOpenExecute();
  void actFileExitExecute();
  void actEditCopyExecute();
  void actFilePrintExecute();
  void actEditSelectAllExecute();
  void actEditFindExecute();
  void FindDialogShow();
  void FindDialogClose();
  void FindDialogFind();

private:
  static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  static LRESULT CALLBACK ToolBarSinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleToolBarNotify(const NMHDR& header, LPARAM lParam);
  void HandleCommand(std::uint16_t id, HWND control);
  void Execute(const TAction& action);
  /// Runs a handler; a failure is shown to the user and goes no further.
  void Run(void (TKorvaneFrame::*handler)());
  void HandleFindMessage(LPARAM lParam);
  const TMenuItem* FindItem(std::uint16_t command) const;
  void CreateReportControl();
  void CreateMenus();
  void CreateToolBar();

  // Actions, in the order of ActionList1.
  const TAction actFileOpen{"actFileOpen", "&Open...", "Open", 0, VK_F3, &TKorvaneFrame::actFileOpenExecute};
  const TAction actFileExit{"actFileExit", "E&xit", nullptr, -1, VK_ESCAPE, &TKorvaneFrame::actFileExitExecute};
  const TAction actEditCopy{"actEditCopy", "&Copy", "Copy", 2, 0x4000 | 'C', &TKorvaneFrame::actEditCopyExecute};
  const TAction actFilePrint{"actFilePrint", "&Print", "Print", 1, VK_F9, &TKorvaneFrame::actFilePrintExecute};
  const TAction actEditSelectAll{"actEditSelectAll", "Select &all", nullptr, -1, 0x4000 | 'A',
                                 &TKorvaneFrame::actEditSelectAllExecute};
  const TAction actEditFind{"actEditFind", "&Find...", "Find", 3, VK_F7, &TKorvaneFrame::actEditFindExecute};
  const std::array<const TAction*, 6> ActionList1{&actFileOpen,  &actFileExit,      &actEditCopy,
                                                  &actFilePrint, &actEditSelectAll, &actEditFind};

  // Menu items are made in menu order, so they take their command ids in it.
  TMenuItem File1{"File1", "&File"};
  TMenuItem Open1{"Open1", "", &actFileOpen};
  TMenuItem N1{"N1", "-"};
  TMenuItem Print1{"Print1", "", &actFilePrint};
  TMenuItem N2{"N2", "-"};
  TMenuItem Exit1{"Exit1", "", &actFileExit};
  TMenuItem Edit1{"Edit1", "&Edit"};
  TMenuItem Copy1{"Copy1", "", &actEditCopy};
  TMenuItem N3{"N3", "-"};
  TMenuItem Selectall1{"Selectall1", "", &actEditSelectAll};
  TMenuItem N4{"N4", "-"};
  TMenuItem Find1{"Find1", "", &actEditFind};
  const std::array<const TMenuItem*, 2> MainMenuItems{&File1, &Edit1};

  const std::array<TToolButton, 7> ToolButtons{{{"ToolButton1", 0, &actFileOpen, 23},
                                                {"ToolButton6", 23, nullptr, 8},
                                                {"ToolButton4", 31, &actFilePrint, 23},
                                                {"ToolButton3", 54, nullptr, 8},
                                                {"ToolButton2", 62, &actEditCopy, 23},
                                                {"ToolButton5", 85, nullptr, 8},
                                                {"tbbFind", 93, &actEditFind, 23}}};

  TOpenDialog OpenDialog;
  TPrintDialog PrintDialog;
  // FLastFindText and FFindPos: where the next Find Next starts.
  TFindState FFind;
  bool FFindHintShown = true;
  bool FNotFoundBoxShown = false;

  // Window resources: released in reverse, the windows before the font, the
  // glyphs and the rich edit library they use.
  HWND FHostWindow;
  TLibrary FRichEditLibrary;
  TFont FFont;
  TImageList ImageList1;
  TMenu MainMenu1;
  TWindow FHandle;
  TWindow edMain;
  TWindow FToolBarSink;
  TWindow ToolBar1;
  // Owned by the host's top-level window, not by ours: closed with the form.
  TFindDialog FindDialog;
  std::unique_ptr<TRichEditView> FView;
  std::unique_ptr<TReportDriver> FDriver;
  std::string FHintText;
};

} // namespace korvane::viewer
