// The viewer's life in the host: several viewers, destroying twice, and
// windows, handles and GDI and USER objects given back after every cycle.

#include <gtest/gtest.h>

#include <cstdio>

#include "Harness.h"

namespace {

using namespace korvane::test;

TEST(Lifetime, SeveralViewersAndDestroyingTwice) {
  THostWindow host;
  TViewer first(host.Get(), true);
  TViewer second(host.Get(), false);
  ASSERT_EQ(first.Show(Samples().Dos.Path()), -1);
  ASSERT_EQ(second.Show(Samples().Pe32.Path()), -1);
  EXPECT_EQ(ControlLines(first.Report())[0], "dos.exe");
  EXPECT_EQ(ControlLines(second.Report())[0], "pe32.dll");

  const HWND third = Module().CreateViewerWindow(host.Get(), host.Get(), 0, FALSE, nullptr, nullptr, nullptr);
  ASSERT_NE(third, nullptr);
  Module().DestroyViewerWindow(third);
  EXPECT_FALSE(::IsWindow(third));
  Module().DestroyViewerWindow(third);      // nothing the second time
  Module().DestroyViewerWindow(host.Get()); // a window without a viewer: nothing
  EXPECT_TRUE(::IsWindow(host.Get()));
  char kind[32] = {};
  EXPECT_EQ(Module().ShowFile(third, Samples().Dos.Path().c_str(), kind), FALSE);
}

TEST(Lifetime, CreateShowDestroyCyclesLeaveCountsFlat) {
  THostWindow host;
  auto cycle = [&host] {
    HMENU menu = nullptr;
    HWND bar = nullptr;
    HACCEL accelerators = nullptr;
    const HWND viewer = Module().CreateViewerWindow(host.Get(), host.Get(), 0, TRUE, &menu, &bar, &accelerators);
    ASSERT_NE(viewer, nullptr) << LastErrorText();
    char kind[32] = {};
    EXPECT_EQ(Module().ShowFile(viewer, Samples().Pe32.Path().c_str(), kind), -1);
    Module().DestroyViewerWindow(viewer);
    EXPECT_FALSE(::IsWindow(bar));
    EXPECT_FALSE(::IsMenu(menu));
    ::DestroyAcceleratorTable(accelerators); // the host's to destroy
  };
  for (int i = 0; i < 5; ++i) // first use loads libraries and classes
    cycle();
  PumpPending();
  const TCounts before = Counts();
  for (int i = 0; i < 200; ++i)
    cycle();
  PumpPending();
  const TCounts after = Counts();
  EXPECT_EQ(after.Windows, before.Windows);
  EXPECT_EQ(after.Handles, before.Handles);
  EXPECT_EQ(after.GdiObjects, before.GdiObjects);
  EXPECT_EQ(after.UserObjects, before.UserObjects);
  std::printf("windows %d, handles %lu, GDI objects %lu, USER objects %lu\n", after.Windows, after.Handles,
              after.GdiObjects, after.UserObjects);
}

TEST(Lifetime, AViewerWhoseParentIsDestroyedGoesWithIt) {
  THostWindow host;
  auto cycle = [&host] {
    HWND parent = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 200, host.Get(), nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    HMENU menu = nullptr;
    HWND bar = nullptr;
    HACCEL accelerators = nullptr;
    const HWND viewer = Module().CreateViewerWindow(host.Get(), parent, 0, TRUE, &menu, &bar, &accelerators);
    ASSERT_NE(viewer, nullptr) << LastErrorText();
    ::DestroyWindow(parent); // without DestroyViewerWindow
    EXPECT_FALSE(::IsWindow(bar)) << "the bar in the host window goes with the viewer";
    EXPECT_FALSE(::IsMenu(menu));
    Module().DestroyViewerWindow(viewer); // no viewer any more: nothing
    ::DestroyAcceleratorTable(accelerators);
  };
  cycle();
  const TCounts before = Counts();
  for (int i = 0; i < 20; ++i)
    cycle();
  const TCounts after = Counts();
  EXPECT_EQ(after.Windows, before.Windows);
  EXPECT_EQ(after.Handles, before.Handles);
}
} // namespace
