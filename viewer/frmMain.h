// The viewer form: the report control, the actions with their menu and tool
// bar, the glyphs and the standard dialogs, and the handlers of the commands.
#pragma once

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Actions.h"
#include "Dialogs.h"
#include "FindState.h"
#include "Handles.h"
#include "ReportDriver.h"
#include "ReportFill.h"

namespace korvane::viewer {

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

  /// Takes ToolBar1 out of the form into the host window and shows it there.
  void MoveToolBarTo(HWND hostWindow);
  /// An accelerator table from the shortcuts of MainMenu1's items; nullptr
  /// when no item has one. The caller owns the table.
  HACCEL CreateAccelerators() const;
  void Show();

  /// The report of the file in a fresh control; its first piece is shown
  /// when this returns and the rest follows from the message loop.
  void BuildReport(const std::string& path);
  const char* GetFileKindText() const { return FFill->Driver().GetFileKindText(); }
  const std::string& FileName() const { return FFill->Driver().FileName(); }

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
  /// One small handler per message of the form's window.
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  /// The report control fills the form.
  void OnSize(int width, int height);
  LRESULT HandleToolBarNotify(const NMHDR& header, LPARAM lParam);
  void HandleCommand(std::uint16_t id, HWND control);
  void Execute(const TAction& action);
  /// Runs a handler; a failure is shown to the user and goes no further.
  void Run(void (TKorvaneFrame::*handler)());
  void HandleFindMessage(LPARAM lParam);
  void CreateMenus();

  // The actions.
  const TAction actFileOpen{"&Open...", "Open", 0, VK_F3, &TKorvaneFrame::actFileOpenExecute};
  const TAction actFileExit{"E&xit", nullptr, -1, VK_ESCAPE, &TKorvaneFrame::actFileExitExecute};
  const TAction actEditCopy{"&Copy", "Copy", 2, ShortCutCtrl | 'C', &TKorvaneFrame::actEditCopyExecute};
  const TAction actFilePrint{"&Print", "Print", 1, VK_F9, &TKorvaneFrame::actFilePrintExecute};
  const TAction actEditSelectAll{"Select &all", nullptr, -1, ShortCutCtrl | 'A',
                                 &TKorvaneFrame::actEditSelectAllExecute};
  const TAction actEditFind{"&Find...", "Find", 3, VK_F7, &TKorvaneFrame::actEditFindExecute};

  // Menu items are made in menu order, so they take their command ids in it;
  // an action's id is that of its item, on the tool bar as well.
  TMenuItem File1{"&File"};
  TMenuItem Open1{"", &actFileOpen};
  TMenuItem N1{"-"};
  TMenuItem Print1{"", &actFilePrint};
  TMenuItem N2{"-"};
  TMenuItem Exit1{"", &actFileExit};
  TMenuItem Edit1{"&Edit"};
  TMenuItem Copy1{"", &actEditCopy};
  TMenuItem N3{"-"};
  TMenuItem Selectall1{"", &actEditSelectAll};
  TMenuItem N4{"-"};
  TMenuItem Find1{"", &actEditFind};
  const std::array<const TMenuItem*, 2> MainMenuItems{&File1, &Edit1};

  // Laid out by the bar at the lefts 0, 23, 31, 54, 62, 85 and 93.
  const std::array<TToolButton, 7> ToolButtons{{{&actFileOpen, 23},   // ToolButton1
                                                {nullptr, 8},         // ToolButton6
                                                {&actFilePrint, 23},  // ToolButton4
                                                {nullptr, 8},         // ToolButton3
                                                {&actEditCopy, 23},   // ToolButton2
                                                {nullptr, 8},         // ToolButton5
                                                {&actEditFind, 23}}}; // tbbFind

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
  // The report control (edMain) and those of earlier reports.
  std::unique_ptr<TReportFill> FFill;
  TWindow FToolBarSink;
  TWindow ToolBar1;
  // Owned by the host's top-level window, not by ours: closed with the form.
  TFindDialog FindDialog;
  std::string FHintText;
};

} // namespace korvane::viewer
