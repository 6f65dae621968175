// ShowFile of korvane.dll against the floor of its report control: the time
// one EM_STREAMIN of the finished, styled report takes in a fresh Rich Edit
// 1.0 control. Prints both medians and their ratio per file.
//   korvane-viewer-bench [--runs N] FILE...
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "korvane/KorvaneHost.h"
#include "MemoryReportView.h"
#include "ReportDriver.h"
#include "RtfWriter.h"
#include "SystemLibrary.h"

namespace {

using TClock = std::chrono::steady_clock;

double Milliseconds(TClock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct TSource {
  const std::string* Text;
  std::size_t Offset;
};

DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  auto* source = reinterpret_cast<TSource*>(cookie);
  const std::size_t left = source->Text->size() - source->Offset;
  const std::size_t count = std::min(left, static_cast<std::size_t>(wanted));
  std::memcpy(buffer, source->Text->data() + source->Offset, count);
  source->Offset += count;
  *given = static_cast<LONG>(count);
  return 0;
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
  TSource source{&rtf, 0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadRtf;
  ::SendMessageA(edit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  ::SendMessageA(edit, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(edit, nullptr, TRUE);
  ::UpdateWindow(edit);
  const double elapsed = Milliseconds(TClock::now() - start);
  ::DestroyWindow(edit);
  return elapsed;
}

} // namespace

int main(int argc, char** argv) {
  int runs = 3;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else
      files.emplace_back(argv[i]);
  }
  if (files.empty()) {
    std::fputs("usage: korvane-viewer-bench [--runs N] FILE...\n", stderr);
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

  int status = 0;
  std::printf("%-28s %8s %12s %12s %7s\n", "file", "lines", "floor ms", "ShowFile ms", "ratio");
  for (const std::string& file : files) {
    korvane::TMemoryReportView report;
    korvane::TReportDriver driver(report);
    driver.BuildReport(file);
    const std::string rtf = korvane::ReportToRtf(report, ::GetACP());

    std::vector<double> floor;
    std::vector<double> shown;
    for (int run = 0; run < runs; ++run) {
      floor.push_back(StreamFloor(host, rtf));
      HWND viewer = create(host, host, 0, FALSE, nullptr, nullptr, nullptr);
      ::MoveWindow(viewer, 0, 0, 700, 500, FALSE);
      char kind[korvane::KindTextCapacity] = {};
      const TClock::time_point start = TClock::now();
      const BOOL ok = show(viewer, file.c_str(), kind);
      ::UpdateWindow(viewer);
      shown.push_back(Milliseconds(TClock::now() - start));
      destroy(viewer);
      if (!ok)
        status = 1;
    }
    const std::string name = file.substr(file.find_last_of("\\/:") + 1);
    std::printf("%-28s %8d %12.1f %12.1f %7.2f\n", name.c_str(), report.LineCount(), Median(floor), Median(shown),
                Median(shown) / Median(floor));
    std::fflush(stdout);
  }
  ::DestroyWindow(host);
  return status;
}
