// What both Windows test programs need to be a host of korvane.dll: the
// module, the recording host window, the message pump, the dialog watcher
// and the sample files.
#include "Harness.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "Platform.h"
#include "ReportDriver.h"

namespace korvane::test {

std::string ExeFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string ModulePath() { return ExeFolder() + "korvane.dll"; }

const TModule& Module() {
  static const TModule module = [] {
    TModule loaded;
    loaded.Handle = ::LoadLibraryA(ModulePath().c_str());
    if (loaded.Handle == nullptr)
      return loaded;
    loaded.CreateViewerWindow = ProcAddress<TCreateViewerWindow>(loaded.Handle, "CreateViewerWindow");
    loaded.ShowFile = ProcAddress<TShowFile>(loaded.Handle, "ShowFile");
    loaded.DestroyViewerWindow = ProcAddress<TDestroyViewerWindow>(loaded.Handle, "DestroyViewerWindow");
    loaded.GetLastErrorText = ProcAddress<TGetLastErrorText>(loaded.Handle, "GetLastErrorText");
    return loaded;
  }();
  return module;
}

std::string LastErrorText() {
  char text[2048] = {};
  Module().GetLastErrorText(text, sizeof text);
  return text;
}

HWND CreateHostWindow(const char* className, const char* title, WNDPROC procedure) {
  WNDCLASSEXA host{};
  host.cbSize = sizeof host;
  host.lpfnWndProc = procedure;
  host.hInstance = ::GetModuleHandleA(nullptr);
  host.lpszClassName = className;
  ::RegisterClassExA(&host);
  return ::CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 500, nullptr, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

void PumpPending() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    PumpPending();
    if (done())
      return true;
    if (std::chrono::steady_clock::now() >= end)
      return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

std::string MenuText(HMENU menu, UINT position) {
  char text[256] = {};
  ::GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
  return text;
}

WORD MenuCommand(HMENU menu, const std::string& text) {
  for (int top = 0; top < ::GetMenuItemCount(menu); ++top) {
    HMENU popup = ::GetSubMenu(menu, top);
    for (int i = 0; i < ::GetMenuItemCount(popup); ++i)
      if (MenuText(popup, static_cast<UINT>(i)) == text)
        return static_cast<WORD>(::GetMenuItemID(popup, i));
  }
  return 0;
}

HWND ReportOf(HWND viewer) { return ::FindWindowExA(viewer, nullptr, "RICHEDIT", nullptr); }

std::string ReportText(HWND edit) {
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(edit)) + 1, '\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextA(edit, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::string ControlLine(HWND edit, int index) {
  const LRESULT start = ::SendMessageA(edit, EM_LINEINDEX, static_cast<WPARAM>(index), 0);
  const auto length = static_cast<std::size_t>(::SendMessageA(edit, EM_LINELENGTH, static_cast<WPARAM>(start), 0));
  std::vector<char> buffer(length + 4);
  const auto capacity = static_cast<WORD>(buffer.size());
  std::memcpy(buffer.data(), &capacity, sizeof capacity);
  ::SendMessageA(edit, EM_GETLINE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  return std::string(buffer.data(), length);
}

std::string ToolBarHint(HWND toolBar, int index) {
  const auto tips = reinterpret_cast<HWND>(::SendMessageA(toolBar, TB_GETTOOLTIPS, 0, 0));
  TBBUTTON button{};
  ::SendMessageA(toolBar, TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button));
  char text[80] = {};
  TTTOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = toolBar;
  tool.uId = static_cast<UINT_PTR>(button.idCommand);
  tool.lpszText = text;
  ::SendMessageA(tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  return tool.lpszText != nullptr ? tool.lpszText : "";
}

std::string ClipboardText() {
  std::string text;
  if (!::OpenClipboard(nullptr))
    return "<clipboard not available>";
  if (HANDLE data = ::GetClipboardData(CF_TEXT))
    if (const auto* chars = static_cast<const char*>(::GlobalLock(data))) {
      text = chars;
      ::GlobalUnlock(data);
    }
  ::CloseClipboard();
  return text;
}

std::vector<std::string> ControlLines(HWND edit) {
  std::vector<std::string> lines;
  const auto count = static_cast<int>(::SendMessageA(edit, EM_GETLINECOUNT, 0, 0));
  for (int i = 0; i < count; ++i)
    lines.push_back(ControlLine(edit, i));
  return lines;
}

CHARFORMATA LineFormat(HWND edit, int line) {
  const LRESULT start = ::SendMessageA(edit, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
  const LRESULT length = ::SendMessageA(edit, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
  ::SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(start), start + length);
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  ::SendMessageA(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format;
}

TMemoryReportView EngineReport(const std::string& path) {
  TMemoryReportView view;
  TReportDriver driver(view);
  driver.BuildReport(path);
  return view;
}

std::string SystemText(DWORD code) {
  std::string text = platform::SystemText(static_cast<int>(code));
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 32 || text.back() == '.'))
    text.pop_back();
  return text;
}

std::string JoinedLines(const TMemoryReportView& report) {
  std::string joined;
  for (const std::string& line : ReportLines(report))
    joined += (joined.empty() ? "" : "\r\n") + line;
  return joined;
}

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  ::EnumChildWindows(window, CountChild, count);
  return TRUE;
}

} // namespace

TCounts Counts() {
  TCounts counts{};
  ::EnumThreadWindows(::GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&counts.Windows));
  // Message-only windows are found only by name of their parent.
  for (HWND sink = nullptr; (sink = ::FindWindowExA(HWND_MESSAGE, sink, nullptr, nullptr)) != nullptr;)
    ++counts.Windows;
  // A census of kernel handles: Wine's GetProcessHandleCount reports 0.
  for (UINT_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
      ++counts.Handles;
  }
  counts.GdiObjects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  counts.UserObjects = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
  return counts;
}

// ---- the recording host ----

THostState HostState;

void ResetHostState() {
  HostState.Viewer = nullptr;
  HostState.FindDialog = nullptr;
  HostState.FromViewer.clear();
}

namespace {

LRESULT CALLBACK RecordingHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_COMMAND:
    if (HostState.Viewer != nullptr)
      ::SendMessageA(HostState.Viewer, WM_COMMAND, wParam, lParam);
    return 0;
  case WM_VIEWER_FILEOPENED: {
    TReceived received{message, wParam, lParam, {}, {}, {}};
    const auto* info = reinterpret_cast<const ViewerFileInfo*>(lParam);
    received.FileName = info->fileName;
    received.KindText = info->kindText;
    if (HostState.Viewer != nullptr) {
      const std::string report = ReportText(ReportOf(HostState.Viewer));
      received.ReportTitle = report.substr(0, report.find('\r'));
    }
    HostState.FromViewer.push_back(received);
    return 0;
  }
  case WM_VIEWER_DIALOG:
    HostState.FindDialog = wParam != 0 ? reinterpret_cast<HWND>(lParam) : nullptr;
    [[fallthrough]];
  case WM_VIEWER_CLOSE:
    HostState.FromViewer.push_back({message, wParam, lParam, {}, {}, {}});
    return 0;
  default:
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

} // namespace

std::vector<TReceived> Received(UINT message) {
  std::vector<TReceived> found;
  for (const TReceived& received : HostState.FromViewer)
    if (received.Message == message)
      found.push_back(received);
  return found;
}

HWND RecordingHostWindow() {
  static const HWND window = CreateHostWindow("TKorvaneTestHost", RecordingHostTitle, RecordingHostProc);
  return window;
}

// ---- the modal dialogs ----

void PressButton(HWND dialog, int id) { ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

bool IsOpenDialog(HWND dialog) { return ::GetDlgItem(dialog, OpenFileNameControl) != nullptr; }
bool IsPrintDialog(HWND dialog) { return ::GetDlgItem(dialog, PrinterNameControl) != nullptr; }

namespace {

bool IsMessageBox(HWND dialog) { return ::GetDlgItem(dialog, BoxIconControl) != nullptr; }

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
  char className[32] = {};
  ::GetClassNameA(window, className, sizeof className);
  if (std::strcmp(className, "#32770") == 0 && ::IsWindowVisible(window))
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

} // namespace

TDialogWatcher::TDialogWatcher(HWND host) : FHost(host), FUi(::GetCurrentThreadId()), FThread([this] { Run(); }) {}

TDialogWatcher::~TDialogWatcher() {
  FStop = true;
  FThread.join();
}

void TDialogWatcher::OnDialog(TDialogKind kind, TStep step) {
  const std::lock_guard<std::mutex> lock(FMutex);
  FSteps.push_back({kind, std::move(step)});
}

std::vector<TBox> TDialogWatcher::Boxes() {
  const std::lock_guard<std::mutex> lock(FMutex);
  return FBoxes;
}

void TDialogWatcher::Run() {
  using namespace std::chrono_literals;
  std::set<HWND> handled;
  std::map<HWND, std::chrono::steady_clock::time_point> others;
  while (!FStop) {
    std::vector<HWND> dialogs;
    ::EnumThreadWindows(FUi, CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    for (HWND dialog : dialogs) {
      if (handled.count(dialog) != 0 || dialog == HostState.FindDialog.load())
        continue;
      TStep step;
      {
        const std::lock_guard<std::mutex> lock(FMutex);
        if (!FSteps.empty() && FSteps.front().Kind(dialog)) {
          step = std::move(FSteps.front().Step);
          FSteps.pop_front();
        }
      }
      // An open dialog holds a control with the id of a box's icon (stc1).
      if (!step && !IsOpenDialog(dialog) && IsMessageBox(dialog)) {
        handled.insert(dialog);
        std::this_thread::sleep_for(100ms); // let the box finish its set-up
        HandleBox(dialog);
        continue;
      }
      if (!step && !IsOpenDialog(dialog)) {
        const auto now = std::chrono::steady_clock::now();
        if (now - others.emplace(dialog, now).first->second > 2s) {
          handled.insert(dialog);
          ++FUnexpected;
          PressButton(dialog, IDCANCEL);
        }
        continue;
      }
      handled.insert(dialog);
      std::this_thread::sleep_for(100ms); // let the dialog finish its set-up
      if (step) {
        ++FStepsDone;
        step(dialog);
      } else {
        ++FUnexpected;
        PressButton(dialog, IDCANCEL);
      }
    }
    std::this_thread::sleep_for(20ms);
  }
}

void TDialogWatcher::HandleBox(HWND box) {
  char buffer[1024] = {};
  TBox seen{};
  ::GetWindowTextA(box, buffer, sizeof buffer);
  seen.Caption = buffer;
  ::GetDlgItemTextA(box, BoxTextControl, buffer, sizeof buffer);
  seen.Text = buffer;
  const auto icon = reinterpret_cast<HICON>(::SendDlgItemMessageA(box, BoxIconControl, STM_GETICON, 0, 0));
  seen.InformationIcon = icon != nullptr && icon == ::LoadIconA(nullptr, IDI_ASTERISK);
  seen.ErrorIcon = icon != nullptr && icon == ::LoadIconA(nullptr, IDI_HAND);
  seen.OwnedByHostWindow = ::GetWindow(box, GW_OWNER) == FHost;
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    FBoxes.push_back(seen);
  }
  PressButton(box, IDOK);
}

TDialogWatcher::TStep ChooseFile(const std::string& path) {
  return [path](HWND dialog) {
    ::SetDlgItemTextA(dialog, OpenFileNameControl, path.c_str());
    PressButton(dialog, IDOK);
  };
}

// ---- sample files ----

TBytes LongListingDll() {
  TPeBuilder builder;
  for (int i = 0; i < 24000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "LongListingFunction%05d", i);
    builder.Export(name, static_cast<std::uint16_t>(i));
  }
  return builder.Build();
}

const TTempFile& LongListingSample() {
  static const TTempFile sample(LongListingDll(), "longlisting.dll");
  return sample;
}

const TSamples& Samples() {
  static const TSamples samples;
  return samples;
}

} // namespace korvane::test
