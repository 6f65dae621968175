// ShowFile of korvane.dll against the floor of its report control: the time
// one EM_STREAMIN of the finished, styled report takes in a fresh Rich Edit
// 1.0 control. The bench is the host: after ShowFile it runs its message loop
// until the control holds the whole report, timing every message it
// dispatches. Per file it prints the medians (with --fastest the least) of
//   floor     the one stream of the whole report,
//   show      ShowFile,
//   longest   the longest message dispatched until the control is full,
//   full      ShowFile's start until the control is full,
//   next      ShowFile of a small file (korvane.dll) right after,
//   after     the longest message dispatched after that, until the queue is empty,
//   destroy   DestroyViewerWindow of a viewer whose control is full,
// and of the last run
//   exact     whether the full control holds exactly the report's text ("-"
//             for a report that did not fit),
//   shown     the lines the control holds when it is full: fewer than the
//             report's, the last of them the too-large line, when the report does
//             not fit in the process,
//   peak MiB  the peak resident memory of the process so far (run one file
//             for the peak of its report),
//   B/line    the address space the fill took, per line shown.
// The floor is left out ("-") for a report that would not fit in the
// process: its one stream has no guard.
//   korvane-viewer-bench [--runs N] [--fastest] FILE...
#include <windows.h>
#include <psapi.h>
#include <richedit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Errors.h"
#include "FillBudget.h"
#include "korvane/KorvaneHost.h"
#include "MemoryReportView.h"
#include "StreamRtf.h"
#include "ProcessMemory.h"
#include "StoredReport.h"
#include "ReportDriver.h"
#include "RtfWriter.h"
#include "SystemLibrary.h"

namespace {

using TClock = std::chrono::steady_clock;

double Milliseconds(TClock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

bool Fastest = false;

// The median of the runs, or with --fastest the least.
double Typical(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return Fastest ? values.front() : values[values.size() / 2];
}

// The control's whole text against the report's lines, each break "\r\n".
bool HoldsExactly(HWND viewer, const korvane::TMemoryReportView& report) {
  HWND edit = ::FindWindowExA(viewer, nullptr, "RICHEDIT", nullptr);
  if (edit == nullptr)
    return false;
  const auto length = static_cast<std::size_t>(::SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0));
  std::string text(length + 1, '\0');
  text.resize(static_cast<std::size_t>(
      ::SendMessageA(edit, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()))));
  std::string expected;
  expected.reserve(report.Text().size() + static_cast<std::size_t>(report.LineCount()));
  for (int line = 0; line < report.LineCount(); ++line) {
    if (line > 0)
      expected += "\r\n";
    expected += report.Line(line).Text;
  }
  return text == expected;
}

// The floor: a control set up like the viewer's, redraw off, one stream.
double StreamFloor(HWND host, const std::string& rtf) {
  HWND edit = ::CreateWindowExA(WS_EX_CLIENTEDGE, "RICHEDIT", "",
                                WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                    ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_NOHIDESEL,
                                0, 0, 700, 500, host, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ::SendMessageA(edit, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  ::SendMessageA(edit, EM_SETTARGETDEVICE, 0, 1);
  const TClock::time_point start = TClock::now();
  ::SendMessageA(edit, WM_SETREDRAW, FALSE, 0);
  korvane::viewer::StreamRtf(edit, rtf);
  ::SendMessageA(edit, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(edit, nullptr, TRUE);
  ::UpdateWindow(edit);
  const double elapsed = Milliseconds(TClock::now() - start);
  ::DestroyWindow(edit);
  return elapsed;
}

// The lines the viewer's report control holds.
int ControlLines(HWND viewer) {
  HWND edit = ::FindWindowExA(viewer, nullptr, "RICHEDIT", nullptr);
  return edit != nullptr ? static_cast<int>(::SendMessageA(edit, EM_GETLINECOUNT, 0, 0)) : 0;
}

// The control holds the whole report, or as much of it as fits and the
// too-large line after it.
bool ControlFull(HWND viewer, int lines) {
  HWND edit = ::FindWindowExA(viewer, nullptr, "RICHEDIT", nullptr);
  if (edit == nullptr)
    return false;
  const auto count = static_cast<int>(::SendMessageA(edit, EM_GETLINECOUNT, 0, 0));
  if (count >= lines)
    return true;
  char buffer[256] = {};
  *reinterpret_cast<WORD*>(buffer) = sizeof buffer - 1;
  const auto copied =
      ::SendMessageA(edit, EM_GETLINE, static_cast<WPARAM>(count - 1), reinterpret_cast<LPARAM>(buffer));
  const std::string_view start = korvane::TStoredReport::TooLargeMessageStart;
  return copied >= static_cast<LRESULT>(start.size()) && std::string_view(buffer, start.size()) == start;
}

// The peak resident memory of the process so far, in MiB (Wine takes it
// from Linux's VmHWM).
double PeakMemoryMib() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
    return 0;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

std::uint64_t UsedAddressSpace() {
  const korvane::TMemoryStatus status = korvane::viewer::ProcessMemoryStatus();
  return status.AddressSpace - status.FreeAddressSpace;
}

// Dispatches the queue's messages as a host's loop does, until the queue is
// empty and done() holds; returns the longest dispatch in milliseconds.
template <typename Done>
double PumpUntil(Done done) {
  double longest = 0;
  MSG message{};
  // A fill that never ends fails the run rather than hanging it.
  const TClock::time_point deadline = TClock::now() + std::chrono::minutes(15);
  while (TClock::now() < deadline) {
    if (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      const TClock::time_point start = TClock::now();
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
      longest = std::max(longest, Milliseconds(TClock::now() - start));
    } else if (done()) {
      return longest;
    } else {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
  }
  std::fputs("korvane-viewer-bench: the control did not fill within 15 minutes\n", stderr);
  std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
  int runs = 3;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--fastest") == 0)
      Fastest = true;
    else
      files.emplace_back(argv[i]);
  }
  if (files.empty()) {
    std::fputs("usage: korvane-viewer-bench [--runs N] [--fastest] FILE...\n", stderr);
    return 2;
  }
  char self[MAX_PATH + 1] = {};
  std::string folder(self, ::GetModuleFileNameA(nullptr, self, MAX_PATH));
  folder.erase(folder.find_last_of("\\/") + 1);
  HMODULE module = ::LoadLibraryA((folder + "korvane.dll").c_str());
  // The control the viewer uses: the system folder's, as korvane.dll loads it.
  HMODULE richEdit = korvane::viewer::LoadSystemLibrary("riched32.dll");
  if (module == nullptr || richEdit == nullptr) {
    std::fputs("korvane.dll or riched32.dll cannot be loaded\n", stderr);
    return 1;
  }
  const auto create = korvane::ProcAddress<korvane::TCreateViewerWindow>(module, "CreateViewerWindow");
  const auto show = korvane::ProcAddress<korvane::TShowFile>(module, "ShowFile");
  const auto destroy = korvane::ProcAddress<korvane::TDestroyViewerWindow>(module, "DestroyViewerWindow");

  WNDCLASSEXA hostClass{};
  hostClass.cbSize = sizeof hostClass;
  hostClass.lpfnWndProc = ::DefWindowProcA;
  hostClass.hInstance = ::GetModuleHandleA(nullptr);
  hostClass.lpszClassName = "TKorvaneBenchHost";
  ::RegisterClassExA(&hostClass);
  HWND host = ::CreateWindowExA(0, "TKorvaneBenchHost", "Bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 720, 540,
                                nullptr, nullptr, hostClass.hInstance, nullptr);

  const std::string small = folder + "korvane.dll";
  int status = 0;
  {
    const korvane::TMemoryStatus memory = korvane::viewer::ProcessMemoryStatus();
    constexpr double MiB = 1024.0 * 1024.0;
    std::printf("address space %.0f MiB, free %.0f MiB; commit %.0f MiB, free %.0f MiB; room for the viewer %.0f MiB\n",
                static_cast<double>(memory.AddressSpace) / MiB, static_cast<double>(memory.FreeAddressSpace) / MiB,
                static_cast<double>(memory.Commit) / MiB, static_cast<double>(memory.FreeCommit) / MiB,
                static_cast<double>(korvane::TFillBudget::Room(memory)) / MiB);
  }
  std::printf("%-24s %8s %9s %8s %8s %9s %8s %8s %8s %6s %8s %8s %7s\n", "file", "lines", "floor ms", "show ms",
              "longest", "full ms", "next ms", "after", "destroy", "exact", "shown", "peak MiB", "B/line");
  for (const std::string& file : files) {
    korvane::TMemoryReportView report;
    korvane::TReportDriver driver(report);
    try {
      driver.BuildReport(file);
    } catch (const korvane::TKorvaneError&) {
      // The lines before the failure are the report, as in the viewer.
    }
    // The control's lines: the report's, and the one after the last break
    // when the report ends in one.
    const int lines = report.LineCount();
    const bool floorFits = static_cast<std::uint64_t>(lines) * korvane::TFillBudget::FirstBytesPerLine <
                           korvane::TFillBudget::Room(korvane::viewer::ProcessMemoryStatus());
    const std::string rtf = floorFits ? korvane::ReportToRtf(report, ::GetACP()) : std::string();

    std::vector<double> floor, shown, longest, full, next, after, destroyed;
    int shownLines = 0;
    const char* exact = "-";
    double peakMib = 0;
    double bytesPerLine = 0;
    for (int run = 0; run < runs; ++run) {
      if (floorFits)
        floor.push_back(StreamFloor(host, rtf));
      char kind[korvane::KindTextCapacity] = {};
      {
        HWND viewer = create(host, host, 0, FALSE, nullptr, nullptr, nullptr);
        ::MoveWindow(viewer, 0, 0, 700, 500, FALSE);
        const std::uint64_t usedBefore = UsedAddressSpace();
        const TClock::time_point start = TClock::now();
        if (!show(viewer, file.c_str(), kind))
          status = 1;
        ::UpdateWindow(viewer);
        shown.push_back(Milliseconds(TClock::now() - start));
        longest.push_back(PumpUntil([viewer, lines] { return ControlFull(viewer, lines); }));
        full.push_back(Milliseconds(TClock::now() - start));
        shownLines = ControlLines(viewer);
        if (shownLines >= lines && exact[0] != 'n') {
          exact = HoldsExactly(viewer, report) ? "yes" : "no";
          if (exact[0] == 'n')
            status = 1;
        }
        peakMib = PeakMemoryMib();
        const std::uint64_t usedAfter = UsedAddressSpace();
        bytesPerLine =
            usedAfter > usedBefore ? static_cast<double>(usedAfter - usedBefore) / std::max(1, shownLines) : 0;
        const TClock::time_point nextStart = TClock::now();
        if (!show(viewer, small.c_str(), kind))
          status = 1;
        ::UpdateWindow(viewer);
        next.push_back(Milliseconds(TClock::now() - nextStart));
        after.push_back(PumpUntil([] { return true; }));
        destroy(viewer);
      }
      {
        HWND viewer = create(host, host, 0, FALSE, nullptr, nullptr, nullptr);
        ::MoveWindow(viewer, 0, 0, 700, 500, FALSE);
        if (!show(viewer, file.c_str(), kind))
          status = 1;
        PumpUntil([viewer, lines] { return ControlFull(viewer, lines); });
        const TClock::time_point start = TClock::now();
        destroy(viewer);
        destroyed.push_back(Milliseconds(TClock::now() - start));
      }
    }
    const std::string name = file.substr(file.find_last_of("\\/:") + 1);
    char floorText[32] = "-";
    if (floorFits)
      std::snprintf(floorText, sizeof floorText, "%.1f", Typical(floor));
    std::printf("%-24s %8d %9s %8.1f %8.1f %9.1f %8.1f %8.1f %8.1f %6s %8d %8.1f %7.0f\n", name.c_str(), lines,
                floorText, Typical(shown), Typical(longest), Typical(full), Typical(next), Typical(after),
                Typical(destroyed), exact, shownLines, peakMib, bytesPerLine);
    std::fflush(stdout);
  }
  ::DestroyWindow(host);
  return status;
}
