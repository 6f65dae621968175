/* A host written in C includes korvane/KorvaneHost.h on its own: the message
   handling of a host's window procedure, compiled as C11 with -Wpedantic,
   run on a record laid out as the viewer lays it out. */
#include "korvane/KorvaneHost.h"

#include <stdio.h>
#include <string.h>

static TCreateViewerWindow createViewerWindow;
static TShowFile showFile;
static TDestroyViewerWindow destroyViewerWindow;
static TGetLastErrorText getLastErrorText;

static char title[MAX_PATH + 64];
static HWND findDialog;
static int closeRequests;

static LRESULT HandleViewerMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_VIEWER_FILEOPENED: {
    const ViewerFileInfo* info = (const ViewerFileInfo*)lParam;
    snprintf(title, sizeof title, "%s - %s", info->fileName, info->kindText);
    return 0;
  }
  case WM_VIEWER_CLOSE:
    ++closeRequests;
    return 0;
  case WM_VIEWER_DIALOG:
    findDialog = wParam != 0 ? (HWND)lParam : NULL;
    return 0;
  default:
    return 1;
  }
}

int main(void) {
  /* The viewer's record: two pointers of the build's width. */
  const char* fields[2] = {"C:\\a.dll", "Portable Executable"};
  char kind[KORVANE_KIND_TEXT_CAPACITY];
  HMODULE module = LoadLibraryA("korvane.dll");
  int failures = 0;

  if (module != NULL) {
    createViewerWindow = (TCreateViewerWindow)(void (*)(void))GetProcAddress(module, "CreateViewerWindow");
    showFile = (TShowFile)(void (*)(void))GetProcAddress(module, "ShowFile");
    destroyViewerWindow = (TDestroyViewerWindow)(void (*)(void))GetProcAddress(module, "DestroyViewerWindow");
    getLastErrorText = (TGetLastErrorText)(void (*)(void))GetProcAddress(module, "GetLastErrorText");
    if (createViewerWindow == NULL || showFile == NULL || destroyViewerWindow == NULL || getLastErrorText == NULL)
      ++failures;
    getLastErrorText(kind, (int)sizeof kind);
    if (kind[0] != '\0')
      ++failures;
    FreeLibrary(module);
  } else {
    ++failures;
  }

  HandleViewerMessage(WM_VIEWER_FILEOPENED, 0, (LPARAM)fields);
  if (strcmp(title, "C:\\a.dll - Portable Executable") != 0)
    ++failures;
  HandleViewerMessage(WM_VIEWER_DIALOG, 1, (LPARAM)fields);
  if (findDialog != (HWND)fields)
    ++failures;
  HandleViewerMessage(WM_VIEWER_DIALOG, 0, 0);
  HandleViewerMessage(WM_VIEWER_CLOSE, 0, 0);
  if (findDialog != NULL || closeRequests != 1)
    ++failures;
  if (failures != 0)
    printf("%d checks failed\n", failures);
  return failures;
}
