// What both Windows test programs need to be a host of korvane.dll: the
// module loaded as a host loads it, a host window that records what the
// viewer tells it, a message pump with a deadline, the viewer's menu read
// back, a helper thread that handles the modal dialogs and the sample files.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "korvane/KorvaneHost.h"
#include "MemoryReportView.h"
#include "TestSupport.h"

namespace korvane::test {

/// korvane.dll from the test program's own folder, with its four exports.
struct TModule {
  HMODULE Handle = nullptr;
  TCreateViewerWindow CreateViewerWindow = nullptr;
  TShowFile ShowFile = nullptr;
  TDestroyViewerWindow DestroyViewerWindow = nullptr;
  TGetLastErrorText GetLastErrorText = nullptr;
};

/// Loaded once per process.
const TModule& Module();
/// The folder of the test program, with its final separator.
std::string ExeFolder();
std::string ModulePath();
/// GetLastErrorText into a generous buffer.
std::string LastErrorText();

/// A visible top-level window of its own class. Wine maps a new top-level
/// window slowly on a display without a window manager: make one per process.
HWND CreateHostWindow(const char* className, const char* title, WNDPROC procedure);

/// Runs the messages already queued for this thread.
void PumpPending();
/// Runs the thread's queued messages until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

/// The text of a menu item at a position.
std::string MenuText(HMENU menu, UINT position);
/// The command id of the item with this text in any popup of the menu, or 0.
WORD MenuCommand(HMENU menu, const std::string& text);

/// The viewer's report control and its whole text.
HWND ReportOf(HWND viewer);
std::string ReportText(HWND edit);
/// One line of the control, without its break (EM_GETLINE).
std::string ControlLine(HWND edit, int index);
/// The clipboard's text.
std::string ClipboardText();
/// The hint of a tool bar's button at index, as the bar's tool tips ask for it.
std::string ToolBarHint(HWND toolBar, int index);

// ---- the recording host ----

/// One message the host window received from the viewer.
struct TReceived {
  UINT Message;
  WPARAM WParam;
  LPARAM LParam;
  // For WM_VIEWER_FILEOPENED: the record's texts and, when the host holds a
  // viewer, the report's first line while the host handled the message.
  std::string FileName;
  std::string KindText;
  std::string ReportTitle;
};

struct THostState {
  /// The viewer that WM_COMMAND goes to, as a host forwards menu choices and
  /// translated shortcut keys; nullptr: the host forwards nothing.
  HWND Viewer = nullptr;
  /// The open find dialog as WM_VIEWER_DIALOG tells it; read by the dialog
  /// watcher's thread.
  std::atomic<HWND> FindDialog{nullptr};
  std::vector<TReceived> FromViewer;
};
extern THostState HostState;

void ResetHostState();
/// What the viewer sent or posted with this message, in order.
std::vector<TReceived> Received(UINT message);

inline constexpr const char* RecordingHostTitle = "Test host";
/// The process's one recording host window, titled RecordingHostTitle.
HWND RecordingHostWindow();

// ---- a viewer in the recording host ----

// One visible host window serves every test (Wine takes seconds to map a
// new top-level window on a display without a window manager).
class THostWindow {
public:
  THostWindow() { ResetHostState(); }
  HWND Get() const { return korvane::test::RecordingHostWindow(); }
};

// A viewer with or without the interface, destroyed at the end of the test.
class TViewer {
public:
  TViewer(HWND host, bool withUi) {
    FWindow =
        Module().CreateViewerWindow(host, host, 0xDEADBEEF, withUi ? TRUE : FALSE, &Menu, &ToolBar, &Accelerators);
  }
  ~TViewer() {
    if (FWindow != nullptr)
      Module().DestroyViewerWindow(FWindow);
    if (Accelerators != nullptr)
      ::DestroyAcceleratorTable(Accelerators);
  }
  TViewer(const TViewer&) = delete;
  TViewer& operator=(const TViewer&) = delete;

  HWND Get() const { return FWindow; }
  HWND Report() const { return ReportOf(FWindow); }
  HWND HiddenToolBar() const { return ::FindWindowExA(FWindow, nullptr, TOOLBARCLASSNAMEA, nullptr); }
  BOOL Show(const std::string& path, std::string* kind = nullptr) {
    char buffer[KindTextCapacity + 8] = "untouched";
    const BOOL result = Module().ShowFile(FWindow, path.c_str(), buffer);
    if (kind != nullptr)
      *kind = buffer;
    return result;
  }
  void Command(WORD id, HWND control = nullptr) {
    ::SendMessageA(FWindow, WM_COMMAND, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(control));
  }

  HMENU Menu = reinterpret_cast<HMENU>(0x1111);
  HWND ToolBar = reinterpret_cast<HWND>(0x2222);
  HACCEL Accelerators = nullptr;

private:
  HWND FWindow = nullptr;
};

/// The control's lines, without their breaks.
std::vector<std::string> ControlLines(HWND edit);
/// The character format of a line's text (the line is selected).
CHARFORMATA LineFormat(HWND edit, int line);
/// The report the engine writes for the file.
TMemoryReportView EngineReport(const std::string& path);
/// The system's message for code, without its final full stop and blanks.
std::string SystemText(DWORD code);
/// The report's lines as the control holds them: a break between each two.
std::string JoinedLines(const TMemoryReportView& report);

/// What the thread and the process hold: its windows (message-only windows
/// included), kernel handles, GDI and USER objects.
struct TCounts {
  int Windows;
  DWORD Handles;
  DWORD GdiObjects;
  DWORD UserObjects;
};
TCounts Counts();

// ---- the modal dialogs: handled from a helper thread ----

// Controls of the standard dialogs.
inline constexpr int FindWhatControl = 0x480;
inline constexpr int WholeWordControl = 0x410;
inline constexpr int MatchCaseControl = 0x411;
inline constexpr int OpenFileNameControl = 0x47C;
inline constexpr int PrinterNameControl = 0x473;
inline constexpr int BoxTextControl = 0xFFFF;
inline constexpr int BoxIconControl = 0x440;

/// A click on a dialog's button, posted.
void PressButton(HWND dialog, int id);

bool IsOpenDialog(HWND dialog);
bool IsPrintDialog(HWND dialog);

/// What a closed message box showed.
struct TBox {
  std::string Caption;
  std::string Text;
  bool InformationIcon;
  bool ErrorIcon;
  bool OwnedByHostWindow;
};

/// While a test runs, a helper thread hands each open dialog of the UI
/// thread to the next queued step made for its kind and closes each message
/// box with OK, recording it. The modeless find dialog is left alone; an open
/// dialog without its step is cancelled and counted at once, any other dialog
/// that stays up for two seconds too, so a wrong command fails the test rather
/// than hanging it.
class TDialogWatcher {
public:
  using TStep = std::function<void(HWND dialog)>;
  using TDialogKind = bool (*)(HWND dialog);

  explicit TDialogWatcher(HWND host);
  ~TDialogWatcher();
  TDialogWatcher(const TDialogWatcher&) = delete;
  TDialogWatcher& operator=(const TDialogWatcher&) = delete;

  void OnDialog(TDialogKind kind, TStep step);
  void OnOpenDialog(TStep step) { OnDialog(IsOpenDialog, std::move(step)); }
  /// The steps handed a dialog so far.
  int StepsDone() const { return FStepsDone; }
  std::vector<TBox> Boxes();
  int UnexpectedDialogs() const { return FUnexpected; }

private:
  struct TQueued {
    TDialogKind Kind;
    TStep Step;
  };

  void Run();
  void HandleBox(HWND box);

  HWND FHost;
  DWORD FUi;
  std::mutex FMutex;
  std::deque<TQueued> FSteps;
  std::vector<TBox> FBoxes;
  std::atomic<int> FStepsDone{0};
  std::atomic<int> FUnexpected{0};
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

/// A step for the open dialog: the file name typed in, then OK.
TDialogWatcher::TStep ChooseFile(const std::string& path);

// ---- sample files ----

/// A DLL whose export listing is long enough for the viewer to fill its
/// control in several pieces; its last export is LastLongListingName.
TBytes LongListingDll();
inline constexpr const char* LastLongListingName = "LongListingFunction23999";

struct TSamples {
  TTempFile Dos{TDosBuilder().Word(0x04, 3).Build(), "dos.exe"};
  TTempFile Pe32{TPeBuilder().Characteristics(0x2102).Build(), "pe32.dll"};
  TTempFile Pe32Plus{TPeBuilder().Pe32Plus().Build(), "pe32plus.dll"};
  TTempFile Win16{TPeBuilder().Magic(0x0107).Build(), "win16.exe"};
  TTempFile Empty{{}, "empty.exe"};
  TTempFile Listing{TPeBuilder()
                        .Export("Qqq", 1)
                        .Export("AlphaBeta", 2)
                        .Export("Gamma", 3)
                        .Import("KERNEL32.dll", {"ExitProcess", "Sleep"})
                        .Build(),
                    "listing.dll"};
  TTempFile Other{TPeBuilder().Export("Delta", 1).Import("USER32.dll", {"MessageBoxA"}).Build(), "other.dll"};
};

/// Written once per process, at the first use.
const TSamples& Samples();
/// The DLL of LongListingDll, written at its first use.
const TTempFile& LongListingSample();

} // namespace korvane::test
