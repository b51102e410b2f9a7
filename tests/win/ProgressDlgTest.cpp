// The start-up progress dialog as a window: its title and percentage, Cancel
// from the button, Escape and the close box, Enter ignored, its owner
// disabled while it is open, and a WM_QUIT it pumps left for the main loop.
#include <gtest/gtest.h>

#include "support/WinTestSupport.h"
#include "views/win/InitProgressDlg.h"
#include "views/win/resource.h"
#include "win32/Window.h"

using namespace wintest;

namespace {

int g_nPercentSetTexts = 0;
LRESULT CALLBACK CountSetText(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (uMsg == WM_SETTEXT) ++g_nPercentSetTexts;
    return DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

TEST(ProgressDlgTest, PercentCancelKeysAndAPumpedQuit) {
    DrainQueue();
    SetMainWindow(nullptr);
    CInitProgressDlg dlg(0);
    ASSERT_TRUE(dlg.Open(nullptr));
    HWND hDlg = dlg.GetHwnd();
    ASSERT_NE(hDlg, nullptr);
    EXPECT_TRUE(IsWindowVisible(hDlg));
    EXPECT_EQ(GetWindowTextString(hDlg), "Linoscope3");
    const auto percent = [&] { return ControlText(hDlg, IDC_PROGRESS_PERCENT); };
    EXPECT_EQ(percent(), " 0 %");
    EXPECT_EQ(dlg.GetOwnerWindow(), nullptr);  // no main window yet

    dlg.SetRange(0, 100);
    dlg.SetMessage("Initializing");
    EXPECT_EQ(ControlText(hDlg, IDC_PROGRESS_MESSAGE), "Initializing");
    HWND hBar = GetDlgItem(hDlg, IDC_PROGRESS_BAR);
    EXPECT_EQ(SendMessageA(hBar, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(dlg.SetPosition(20), 0);
    EXPECT_EQ(percent(), "20%");
    EXPECT_EQ(SendMessageA(hBar, PBM_GETPOS, 0, 0), 20);
    EXPECT_EQ(dlg.SetPosition(100), 20);
    EXPECT_EQ(percent(), "100%");
    dlg.SetRange(0, 200);
    EXPECT_EQ(SendMessageA(hBar, PBM_GETRANGE, FALSE, 0), 200);
    dlg.SetPosition(150);
    EXPECT_EQ(percent(), "75%");
    // The same position again leaves the text alone (no repaint).
    SetWindowSubclass(GetDlgItem(hDlg, IDC_PROGRESS_PERCENT), CountSetText, 1, 0);
    g_nPercentSetTexts = 0;
    dlg.SetPosition(150);
    EXPECT_EQ(g_nPercentSetTexts, 0);
    dlg.SetPosition(160);
    EXPECT_EQ(g_nPercentSetTexts, 1);
    EXPECT_EQ(percent(), "80%");

    // Cancel pressed twice between two queries is reported once; Escape and
    // the close box count too; the start-up decides when to close it.
    HWND hCancel = GetDlgItem(hDlg, IDCANCEL);
    ASSERT_NE(hCancel, nullptr);
    EXPECT_EQ(GetWindowTextString(hCancel), "Cancel");
    EXPECT_FALSE(dlg.IsCancelPressed());
    PostMessageA(hCancel, BM_CLICK, 0, 0);
    PostMessageA(hCancel, BM_CLICK, 0, 0);
    EXPECT_TRUE(dlg.IsCancelPressed());
    EXPECT_FALSE(dlg.IsCancelPressed());
    EXPECT_TRUE(IsWindow(hDlg));
    SetFocus(hCancel);
    PostKey(hCancel, VK_ESCAPE);
    EXPECT_TRUE(dlg.IsCancelPressed());
    PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpUntil([&] { return dlg.IsCancelPressed() == TRUE; }, nullptr, 2000);
    EXPECT_TRUE(IsWindow(hDlg));
    EXPECT_FALSE(dlg.IsCancelPressed());
    // Enter, even on the focused Cancel button, and an IDOK command neither
    // cancel nor close.
    SetFocus(hCancel);
    PostKey(hCancel, VK_RETURN);
    PostMessageA(hCancel, WM_CHAR, '\r', 1);
    PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(dlg.IsCancelPressed());
    dlg.SetPosition(10);
    EXPECT_FALSE(dlg.IsCancelPressed());
    EXPECT_TRUE(IsWindowVisible(hDlg));

    PostQuitMessage(3);
    dlg.SetPosition(5);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    dlg.DestroyWindow();
    EXPECT_FALSE(IsWindow(hDlg));
    DrainQueue();
}

TEST(ProgressDlgTest, OwnerIsDisabledWhileOpenAndEnabledOnDestroyOrDelete) {
    DrainQueue();
    // A top-level window standing in for the main window at a restart.
    HWND hMain = CreateWindowA("STATIC", "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    SetMainWindow(hMain);
    {
        CInitProgressDlg dlg(0);
        ASSERT_TRUE(dlg.Open(nullptr));
        EXPECT_EQ(dlg.GetOwnerWindow(), hMain);
        EXPECT_FALSE(IsWindowEnabled(hMain));
        dlg.SetPosition(50);
        EXPECT_FALSE(IsWindowEnabled(hMain));
        dlg.DestroyWindow();
        EXPECT_TRUE(IsWindowEnabled(hMain));
        EXPECT_EQ(dlg.GetHwnd(), nullptr);
    }
    HWND hDlg = nullptr;
    {
        CInitProgressDlg dlg(0);
        ASSERT_TRUE(dlg.Open(nullptr));
        hDlg = dlg.GetHwnd();
        EXPECT_FALSE(IsWindowEnabled(hMain));
    }  // deleted while open
    EXPECT_TRUE(IsWindowEnabled(hMain));
    EXPECT_FALSE(IsWindow(hDlg));
    // An owner that was disabled already stays disabled.
    EnableWindow(hMain, FALSE);
    {
        CInitProgressDlg dlg(0);
        ASSERT_TRUE(dlg.Open(nullptr));
        dlg.DestroyWindow();
    }
    EXPECT_FALSE(IsWindowEnabled(hMain));
    SetMainWindow(nullptr);
    DestroyWindow(hMain);
    DrainQueue();
}

}  // namespace
