/* What a host of korvane.dll needs: the types of the four exported functions,
   the messages the viewer sends to the host's main window and the record
   that WM_VIEWER_FILEOPENED carries. Plain C, so that a C or a C++ host can
   include it on its own; C++ hosts get a few conveniences at the end.

   The host forwards the WM_COMMAND messages of the viewer's menu and of the
   accelerator table that CreateViewerWindow hands out to the viewer window;
   the viewer runs the menu item with that id and ignores commands whose
   control handle is its own tool bar. */
#ifndef KORVANE_HOST_H
#define KORVANE_HOST_H

#include <stddef.h>
#include <windows.h>

/* Sent (the viewer waits) after the Open command has built the report for
   the chosen file: wParam 0, lParam the address of a ViewerFileInfo. */
#define WM_VIEWER_FILEOPENED 0x8065
/* Posted by the Exit command, wParam 0, lParam 0. The viewer stays as it is
   until the host calls DestroyViewerWindow. */
#define WM_VIEWER_CLOSE 0x8066
/* Sent when the Find dialog has been shown (wParam 1, lParam its window)
   and when it has been closed (wParam 0, lParam 0). While it is open the
   host passes keyboard messages to IsDialogMessage for that window. */
#define WM_VIEWER_DIALOG 0x8067

/* ShowFile writes the kind text, zero included, into a buffer of at least
   this many bytes: "MS DOS Executable" or "Portable Executable". */
#define KORVANE_KIND_TEXT_CAPACITY 20

#ifdef __cplusplus
extern "C" {
#endif

/* The record and both texts belong to the viewer and are valid only while
   the host handles WM_VIEWER_FILEOPENED. */
typedef struct ViewerFileInfo {
  const char* fileName; /* full path of the file now shown */
  const char* kindText; /* "MS DOS Executable" or "Portable Executable" */
} ViewerFileInfo;

/* The viewer's window handle, or NULL with the reason in GetLastErrorText.
   reserved is not read. With withUi the viewer hands out its menu, its tool
   bar (moved into hostWindow) and an accelerator table the host owns; a
   failed call with withUi sets all three out-values (where given) to NULL,
   so that none names an object of the viewer that was not made. Without
   withUi they are not touched. */
typedef HWND(WINAPI* TCreateViewerWindow)(HWND hostWindow, HWND parentWindow, DWORD reserved, BOOL withUi,
                                          HMENU* menuOut, HWND* toolBarOut, HACCEL* acceleratorsOut);
/* -1 on success with the kind text in kindOut; 0 on failure. */
typedef BOOL(WINAPI* TShowFile)(HWND viewerWindow, const char* fileName, char* kindOut);
typedef void(WINAPI* TDestroyViewerWindow)(HWND viewerWindow);
/* At most maxLength - 1 characters and a terminating zero. */
typedef void(WINAPI* TGetLastErrorText)(char* buffer, int maxLength);

#ifdef __cplusplus
}
#endif

/* korvane.dll comes in two builds: the 32-bit module for 32-bit hosts and
   the 64-bit module for 64-bit hosts, with the same four exports (ordinals 1
   to 4). The record holds two pointers of the host's own width: 8 bytes with
   kindText at offset 4 in a 32-bit host, 16 bytes with kindText at offset 8
   in a 64-bit host. */
#if defined(_WIN64)
#define KORVANE_RECORD_SIZE 16
#define KORVANE_KIND_TEXT_OFFSET 8
#else
#define KORVANE_RECORD_SIZE 8
#define KORVANE_KIND_TEXT_OFFSET 4
#endif
#if defined(__cplusplus)
static_assert(sizeof(ViewerFileInfo) == KORVANE_RECORD_SIZE &&
                  offsetof(ViewerFileInfo, kindText) == KORVANE_KIND_TEXT_OFFSET,
              "ViewerFileInfo is two pointers of the build");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(ViewerFileInfo) == KORVANE_RECORD_SIZE &&
                   offsetof(ViewerFileInfo, kindText) == KORVANE_KIND_TEXT_OFFSET,
               "ViewerFileInfo is two pointers of the build");
#else
typedef char KorvaneViewerFileInfoIsTwoPointers[(sizeof(ViewerFileInfo) == KORVANE_RECORD_SIZE &&
                                                 offsetof(ViewerFileInfo, kindText) == KORVANE_KIND_TEXT_OFFSET)
                                                    ? 1
                                                    : -1];
#endif

#ifdef __cplusplus
namespace korvane {

using ::TCreateViewerWindow;
using ::TDestroyViewerWindow;
using ::TGetLastErrorText;
using ::TShowFile;

inline constexpr int KindTextCapacity = KORVANE_KIND_TEXT_CAPACITY;

/// The export of the loaded module as the function type F; nullptr when missing.
template <typename F>
F ProcAddress(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace korvane
#endif

#endif /* KORVANE_HOST_H */
