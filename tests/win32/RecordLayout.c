/* Compiled, not run: the host header gives the record and the messages the
   layout and numbers that a host of the target's width reads. */
#include "korvane/KorvaneHost.h"

#if defined(_WIN64)
_Static_assert(sizeof(void*) == 8, "a 64-bit target");
_Static_assert(sizeof(ViewerFileInfo) == 16, "two 64-bit pointers");
_Static_assert(offsetof(ViewerFileInfo, kindText) == 8, "kindText second");
#else
_Static_assert(sizeof(void*) == 4, "a 32-bit target");
_Static_assert(sizeof(ViewerFileInfo) == 8, "two 32-bit pointers");
_Static_assert(offsetof(ViewerFileInfo, kindText) == 4, "kindText second");
#endif
_Static_assert(offsetof(ViewerFileInfo, fileName) == 0, "fileName first");
_Static_assert(WM_VIEWER_FILEOPENED == 0x8065 && WM_VIEWER_CLOSE == 0x8066 && WM_VIEWER_DIALOG == 0x8067,
               "message numbers");
_Static_assert(KORVANE_KIND_TEXT_CAPACITY == 20, "room for \"Portable Executable\"");
