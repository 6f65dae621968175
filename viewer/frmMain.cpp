// The viewer form: the report control, the actions with their menu and tool
// bar, the glyphs and the standard dialogs, and the handlers of the commands.
#include "frmMain.h"

#include <commctrl.h>
#include <richedit.h>

#include <cstring>
#include <set>

#include "Application.h"
#include "Errors.h"
#include "korvane/KorvaneHost.h"
#include "OsError.h"
#include "Printing.h"
#include "ReportFindTarget.h"
#include "SystemLibrary.h"

namespace korvane::viewer {

namespace {

constexpr const char* FrameClassName = "TKorvaneFrame";
constexpr const char* ToolBarSinkClassName = "TKorvaneToolBarSink";
constexpr const char* GlyphsResource = "KORVANE_GLYPHS";
constexpr int DesignedWidth = 479;
constexpr int DesignedHeight = 389;
// Child ids far above the menu's command ids.
constexpr int ToolBarControlId = 0xF001;
// GetWindowText of the host's title reads at most this many characters.
constexpr int HostTitleCapacity = 256;

std::set<const TKorvaneFrame*>& LiveFrames() {
  static std::set<const TKorvaneFrame*> frames;
  return frames;
}

// The window classes live as long as the module.
class TWindowClasses {
public:
  TWindowClasses(WNDPROC frameProc, WNDPROC sinkProc) {
    WNDCLASSEXA frame{};
    frame.cbSize = sizeof frame;
    frame.lpfnWndProc = frameProc;
    frame.hInstance = ModuleInstance();
    frame.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    frame.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    frame.lpszClassName = FrameClassName;
    if (::RegisterClassExA(&frame) == 0)
      throw LastOsError("The viewer window class cannot be registered");
    WNDCLASSEXA sink{};
    sink.cbSize = sizeof sink;
    sink.lpfnWndProc = sinkProc;
    sink.hInstance = ModuleInstance();
    sink.lpszClassName = ToolBarSinkClassName;
    if (::RegisterClassExA(&sink) == 0) {
      const TOsError failure = LastOsError("The tool bar window class cannot be registered");
      ::UnregisterClassA(FrameClassName, ModuleInstance());
      throw failure;
    }
  }
  ~TWindowClasses() {
    ::UnregisterClassA(ToolBarSinkClassName, ModuleInstance());
    ::UnregisterClassA(FrameClassName, ModuleInstance());
  }
  TWindowClasses(const TWindowClasses&) = delete;
  TWindowClasses& operator=(const TWindowClasses&) = delete;
};

} // namespace

TKorvaneFrame::TKorvaneFrame(HWND hostWindow, HWND parentWindow) : FHostWindow(hostWindow) {
  static const TWindowClasses classes(FrameProc, ToolBarSinkProc);
  try {
    FRichEditLibrary.Reset(Checked(LoadSystemLibrary("riched32.dll"), "The rich edit library riched32.dll"));
    FFont.Reset(
        Checked(::CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, ReportFontFace),
                "The viewer's font"));
    ImageList1.Reset(Checked(::ImageList_LoadImageA(ModuleInstance(), GlyphsResource, 16, 0, RGB(255, 0, 255),
                                                    IMAGE_BITMAP, LR_CREATEDIBSECTION),
                             "The tool bar glyphs"));
    CreateMenus();
    FHandle.Reset(
        Checked(::CreateWindowExA(WS_EX_CONTROLPARENT, FrameClassName, "KorvaneFrame", WS_CHILD | WS_CLIPCHILDREN, 0, 0,
                                  DesignedWidth, DesignedHeight, parentWindow, nullptr, ModuleInstance(), this),
                "The viewer window"));
    FToolBarSink.Reset(Checked(
        ::CreateWindowExA(0, ToolBarSinkClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), this),
        "The tool bar's message window"));
    ToolBar1 = CreateToolBar(FHandle.Get(), ToolBarControlId, ImageList1.Get(), ToolButtons, MainMenuItems,
                             FToolBarSink.Get());
    FFill = std::make_unique<TReportFill>(FHandle.Get(), FFont.Get(), DesignedWidth, DesignedHeight);
    LiveFrames().insert(this);
  } catch (...) {
    // The windows go with the members; they must not reach this object then.
    if (FHandle.Valid())
      ::SetWindowLongPtrA(FHandle.Get(), GWLP_USERDATA, 0);
    if (FToolBarSink.Valid())
      ::SetWindowLongPtrA(FToolBarSink.Get(), GWLP_USERDATA, 0);
    throw;
  }
  RECT client{};
  ::GetClientRect(FHandle.Get(), &client);
  ::MoveWindow(FFill->Control(), 0, 0, client.right, client.bottom, FALSE);
}

TKorvaneFrame::~TKorvaneFrame() {
  LiveFrames().erase(this);
  if (FHandle.Valid())
    ::SetWindowLongPtrA(FHandle.Get(), GWLP_USERDATA, 0);
  if (FToolBarSink.Valid())
    ::SetWindowLongPtrA(FToolBarSink.Get(), GWLP_USERDATA, 0);
  // An open find dialog goes with the form. The host routes keys to it
  // while it is open, so it is told that it closed, as when the user closes it.
  if (FindDialog.Destroy() && FHostWindow != nullptr && ::IsWindow(FHostWindow))
    ::SendMessageA(FHostWindow, WM_VIEWER_DIALOG, 0, 0);
  // The members release the rest in reverse: the tool bar (wherever it
  // lives), its message window, the fill with its messages and report
  // controls, the form, the menu, the glyphs, the font and the rich edit
  // library.
}

TKorvaneFrame* TKorvaneFrame::FromWindow(HWND window) {
  // Only a window of our own class may have its user-data slot trusted.
  char className[64] = {};
  if (window == nullptr || !::IsWindow(window) || ::GetClassNameA(window, className, sizeof className) == 0 ||
      std::strcmp(className, FrameClassName) != 0 ||
      reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(window, GWLP_HINSTANCE)) != ModuleInstance())
    return nullptr;
  auto* frame = reinterpret_cast<TKorvaneFrame*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  return LiveFrames().count(frame) != 0 ? frame : nullptr;
}

void TKorvaneFrame::CreateMenus() {
  File1.Items = {&Open1, &N1, &Print1, &N2, &Exit1};
  Edit1.Items = {&Copy1, &N3, &Selectall1, &N4, &Find1};
  MainMenu1 = CreateMainMenu(MainMenuItems);
}

void TKorvaneFrame::BuildReport(const std::string& path) { FFill->Start(path); }

void TKorvaneFrame::MoveToolBarTo(HWND hostWindow) {
  ::SetParent(ToolBar1.Get(), hostWindow);
  ::ShowWindow(ToolBar1.Get(), SW_SHOWNA);
}

HACCEL TKorvaneFrame::CreateAccelerators() const { return viewer::CreateAccelerators(MainMenuItems); }

void TKorvaneFrame::Show() { ::ShowWindow(FHandle.Get(), SW_SHOW); }

void TKorvaneFrame::Execute(const TAction& action) { Run(action.Execute); }

void TKorvaneFrame::Run(void (TKorvaneFrame::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::bad_alloc&) {
    ShowErrorBox(FHostWindow, NoMemoryMessage);
  } catch (const std::exception& failure) {
    ShowErrorBox(FHostWindow, failure.what());
  } catch (...) {
    ShowErrorBox(FHostWindow, UnknownFailureMessage);
  }
}

void TKorvaneFrame::HandleCommand(std::uint16_t id, HWND control) {
  // The bar's buttons run their actions themselves; the host may forward
  // the bar's commands as well, which must not run a second time.
  if (control != nullptr && control == ToolBar1.Get())
    return;
  // Notifications of the report control are no commands.
  if (control != nullptr && control == FFill->Control())
    return;
  if (const TAction* action = FindAction(MainMenuItems, id))
    Execute(*action);
}

namespace {

// Both of the frame's windows carry the frame in their user-data slot from
// WM_NCCREATE on; the creation parameter is the frame.
TKorvaneFrame* BoundFrame(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<TKorvaneFrame*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

} // namespace

LRESULT CALLBACK TKorvaneFrame::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  TKorvaneFrame* frame = BoundFrame(window, message, lParam);
  if (frame == nullptr)
    return ::DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // Destroyed with the host's window, without DestroyViewerWindow: the
    // form goes with it so that nothing leaks.
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    if (LiveFrames().count(frame) != 0) {
      frame->FHandle.Release();
      frame->FFill->ReleaseWindows();
      delete frame;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  // No failure may unwind into the system's code that called us.
  try {
    return frame->HandleMessage(window, message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

LRESULT TKorvaneFrame::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_SIZE:
    OnSize(LOWORD(lParam), HIWORD(lParam));
    return 0;
  case WM_SETFOCUS:
    if (FFill != nullptr)
      ::SetFocus(FFill->Control());
    return 0;
  case WM_COMMAND:
    HandleCommand(LOWORD(wParam), reinterpret_cast<HWND>(lParam));
    return 0;
  case TReportFill::FillMessage:
    FFill->FillNextPiece();
    return 0;
  case WM_TIMER:
    if (wParam == TReportFill::FillTimerId)
      FFill->FillNextPiece();
    return 0;
  case TReportFill::DisposalMessage:
    FFill->DestroyRetiredControls();
    return 0;
  default:
    if (message == FindMessage()) {
      HandleFindMessage(lParam);
      return 0;
    }
    // The window is not yet FHandle while it is being created.
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

void TKorvaneFrame::OnSize(int width, int height) {
  if (FFill != nullptr)
    ::MoveWindow(FFill->Control(), 0, 0, width, height, TRUE);
  FormResize();
}

void TKorvaneFrame::HandleFindMessage(LPARAM lParam) {
  // Only our own dialog's record is read.
  if (!FindDialog.IsOwnRecord(lParam))
    return;
  const DWORD flags = FindDialog.Flags();
  if ((flags & FR_DIALOGTERM) != 0) {
    FindDialog.Closed();
    Run(&TKorvaneFrame::FindDialogClose);
  } else if ((flags & FR_FINDNEXT) != 0) {
    FindDialog.Remember();
    Run(&TKorvaneFrame::FindDialogFind);
  }
}

LRESULT CALLBACK TKorvaneFrame::ToolBarSinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  TKorvaneFrame* frame = BoundFrame(window, message, lParam);
  if (frame == nullptr)
    return ::DefWindowProcA(window, message, wParam, lParam);
  try {
    if (message == WM_COMMAND && reinterpret_cast<HWND>(lParam) == frame->ToolBar1.Get()) {
      if (const TAction* action = FindAction(frame->MainMenuItems, LOWORD(wParam)))
        frame->Execute(*action);
      return 0;
    }
    if (message == WM_NOTIFY)
      return frame->HandleToolBarNotify(*reinterpret_cast<const NMHDR*>(lParam), lParam);
  } catch (...) {
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

LRESULT TKorvaneFrame::HandleToolBarNotify(const NMHDR& header, LPARAM lParam) {
  if (header.code != TTN_GETDISPINFOA && header.code != TTN_GETDISPINFOW)
    return 0;
  // A tool's id is its button's command id, which fits a WORD.
  const TAction* action =
      header.idFrom <= 0xFFFF ? FindAction(MainMenuItems, static_cast<std::uint16_t>(header.idFrom)) : nullptr;
  if (action == nullptr)
    return 0;
  // No hint for Find while its dialog is open.
  const char* hint = action == &actEditFind && !FFindHintShown ? nullptr : action->Hint;
  FHintText = hint != nullptr ? hint : "";
  if (header.code == TTN_GETDISPINFOA) {
    auto* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
    info->hinst = nullptr;
    info->lpszText = FHintText.data();
  } else {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
    info->hinst = nullptr;
    ::MultiByteToWideChar(CP_ACP, 0, FHintText.c_str(), -1, info->szText,
                          static_cast<int>(sizeof info->szText / sizeof info->szText[0]));
    info->lpszText = info->szText;
  }
  return 0;
}

void TKorvaneFrame::FormResize() {
  if (!ToolBar1.Valid() || !FHandle.Valid())
    return;
  RECT form{};
  RECT bar{};
  ::GetClientRect(FHandle.Get(), &form);
  ::GetWindowRect(ToolBar1.Get(), &bar);
  ::SetWindowPos(ToolBar1.Get(), nullptr, 0, 0, form.right - form.left, bar.bottom - bar.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TKorvaneFrame::actFileOpenExecute() {
  if (!OpenDialog.Execute(FHostWindow))
    return;
  BuildReport(OpenDialog.FileName());
  const std::string fileName = FileName();
  const ViewerFileInfo info{fileName.c_str(), GetFileKindText()};
  if (FHostWindow != nullptr)
    ::SendMessageA(FHostWindow, WM_VIEWER_FILEOPENED, 0, reinterpret_cast<LPARAM>(&info));
}

void TKorvaneFrame::actFileExitExecute() {
  if (FHostWindow != nullptr)
    ::PostMessageA(FHostWindow, WM_VIEWER_CLOSE, 0, 0);
}

void TKorvaneFrame::actEditCopyExecute() {
  FFill->Complete();
  ::SendMessageA(FFill->Control(), WM_COPY, 0, 0);
}

void TKorvaneFrame::actEditSelectAllExecute() {
  FFill->Complete();
  ::SendMessageA(FFill->Control(), EM_SETSEL, 0, -1);
}

void TKorvaneFrame::actEditFindExecute() {
  FFind.StartNewSearch();
  FFindHintShown = false;
  if (FindDialog.Execute(FHandle.Get()))
    FindDialogShow();
}

void TKorvaneFrame::FindDialogShow() {
  if (FHostWindow != nullptr)
    ::SendMessageA(FHostWindow, WM_VIEWER_DIALOG, 1, reinterpret_cast<LPARAM>(FindDialog.Handle()));
}

void TKorvaneFrame::FindDialogClose() {
  FFindHintShown = true;
  if (FHostWindow != nullptr)
    ::SendMessageA(FHostWindow, WM_VIEWER_DIALOG, 0, 0);
}

void TKorvaneFrame::FindDialogFind() {
  // Deliberate: a press while the not-found box is up is dropped; the box
  // decides where the next search starts.
  if (FNotFoundBoxShown)
    return;
  FFill->Complete();
  const std::string text = FindDialog.SearchText();
  const DWORD flags = FindDialog.Flags();
  TReportFindTarget target(FFill->Control());
  if (FFind.FindNext(target, text, (flags & FR_MATCHCASE) != 0, (flags & FR_WHOLEWORD) != 0))
    return;
  std::array<char, HostTitleCapacity + 1> title{};
  const int length = ::GetWindowTextA(MainWindow(), title.data(), static_cast<int>(title.size()));
  // A host window without a readable title: the application's title instead.
  const std::string caption =
      length > 0 ? std::string(title.data(), static_cast<std::size_t>(length)) : ApplicationTitle();
  const std::string message = "Cannot find '" + text + "'.";
  FNotFoundBoxShown = true;
  ::MessageBoxA(FHandle.Get(), message.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
  FNotFoundBoxShown = false;
  FFind.RestartAtTop();
}

void TKorvaneFrame::actFilePrintExecute() {
  TPrinterDc printer = PrintDialog.Execute(FHostWindow);
  FFill->Complete();
  if (printer.Valid())
    PrintReport(*FFill, printer.Get(), FFill->View().LineText(0));
}

} // namespace korvane::viewer
