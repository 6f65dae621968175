// The four functions that korvane.dll exports. No failure leaves them: each
// turns it into its zero result and LastErrorText.
#include <windows.h>

#include <cstring>
#include <exception>
#include <memory>

#include "Application.h"
#include "Errors.h"
#include "korvane/KorvaneHost.h"
#include "Handles.h"
#include "LastErrorText.h"
#include "frmMain.h"

using korvane::TKorvaneError;
using korvane::plugin::LastErrorText;
using korvane::viewer::TKorvaneFrame;

namespace {

using korvane::viewer::TAcceleratorTable;

constexpr const char* NoViewerMessage = "The window is not a Korvane viewer";
constexpr const char* NoFileNameMessage = "No file name was given";
constexpr const char* NoKindBufferMessage = "No buffer for the file's kind was given";

// Runs body; a failure becomes LastErrorText and the result failed.
template <typename Result, typename Body>
Result Guarded(Result failed, Body body) noexcept {
  try {
    return body();
  } catch (const std::exception& failure) {
    try {
      const char* message = failure.what();
      LastErrorText() = message != nullptr && *message != '\0' ? message : korvane::viewer::UnknownFailureMessage;
    } catch (...) {
      // Deliberate: without memory for the message the old text stays.
    }
  } catch (...) {
    try {
      LastErrorText() = korvane::viewer::UnknownFailureMessage;
    } catch (...) {
    }
  }
  return failed;
}

} // namespace

extern "C" {

HWND __stdcall CreateViewerWindow(HWND hostWindow, HWND parentWindow, DWORD /*reserved*/, BOOL withUi, HMENU* menuOut,
                                  HWND* toolBarOut, HACCEL* acceleratorsOut) {
  // The host's out-values are written only once the viewer stands; a failed
  // call with withUi sets them to 0, so that none names an object that went
  // with the failed viewer.
  if (withUi) {
    if (menuOut != nullptr)
      *menuOut = nullptr;
    if (toolBarOut != nullptr)
      *toolBarOut = nullptr;
    if (acceleratorsOut != nullptr)
      *acceleratorsOut = nullptr;
  }
  return Guarded<HWND>(nullptr, [&]() -> HWND {
    korvane::viewer::SetMainWindow(hostWindow);
    auto frame = std::make_unique<TKorvaneFrame>(hostWindow, parentWindow);
    TAcceleratorTable accelerators;
    if (withUi) {
      frame->MoveToolBarTo(hostWindow);
      accelerators.Reset(frame->CreateAccelerators());
    }
    // Nothing fails from here on: the out-values name a viewer that stands.
    if (withUi) {
      if (menuOut != nullptr)
        *menuOut = frame->MenuHandle();
      if (toolBarOut != nullptr)
        *toolBarOut = frame->ToolBarHandle();
      // The table is the host's from here on; without a place for it, it goes.
      if (acceleratorsOut != nullptr)
        *acceleratorsOut = accelerators.Release();
    }
    // From here on the form lives until DestroyViewerWindow.
    return frame.release()->Handle();
  });
}

BOOL __stdcall ShowFile(HWND viewerWindow, const char* fileName, char* kindOut) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    TKorvaneFrame* frame = TKorvaneFrame::FromWindow(viewerWindow);
    if (frame == nullptr)
      throw TKorvaneError(NoViewerMessage);
    if (fileName == nullptr)
      throw TKorvaneError(NoFileNameMessage);
    if (kindOut == nullptr)
      throw TKorvaneError(NoKindBufferMessage);
    frame->Show();
    frame->BuildReport(fileName);
    // The longest kind text needs KindTextCapacity bytes, which the host provides.
    std::strcpy(kindOut, frame->GetFileKindText());
    return -1;
  });
}

void __stdcall DestroyViewerWindow(HWND viewerWindow) {
  Guarded<int>(0, [&]() -> int {
    delete TKorvaneFrame::FromWindow(viewerWindow);
    return 0;
  });
}

void __stdcall GetLastErrorText(char* buffer, int maxLength) { korvane::plugin::CopyLastErrorText(buffer, maxLength); }

} // extern "C"
