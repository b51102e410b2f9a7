// The start-up progress dialog as a window: its title, message, bar and
// percentage, Cancel from the button, Escape and the close box, Enter
// ignored, its owner disabled while it is open, and a WM_QUIT it pumps left
// for the main loop.
#include <gtest/gtest.h>

#include <memory>

#include "support/WinTestSupport.h"
#include "views/win/InitProgressDlg.h"
#include "views/win/resource.h"
#include "win32/Window.h"

using namespace wintest;

namespace {

int g_nPercentSetTexts = 0;
LRESULT CALLBACK CountSetText(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    g_nPercentSetTexts += uMsg == WM_SETTEXT;
    return DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

TEST(ProgressDlgTest, PercentCancelKeysAndAPumpedQuit) {
    DrainQueue();
    SetMainWindow(nullptr);
    CInitProgressDlg dlg(0);
    ASSERT_TRUE(dlg.Open(nullptr));
    HWND hDlg = dlg.GetHwnd();
    EXPECT_TRUE(IsWindowVisible(hDlg));
    EXPECT_EQ(GetWindowTextString(hDlg), "Linoscope3");
    EXPECT_EQ(ControlText(hDlg, IDC_PROGRESS_PERCENT), " 0 %");
    EXPECT_EQ(dlg.GetOwnerWindow(), nullptr);  // no main window yet

    // The range reaches the bar and the percentage; the same position again
    // leaves the text alone (no repaint).
    dlg.SetRange(0, 200);
    dlg.SetMessage("Initializing");
    EXPECT_EQ(ControlText(hDlg, IDC_PROGRESS_MESSAGE), "Initializing");
    HWND hBar = GetDlgItem(hDlg, IDC_PROGRESS_BAR);
    EXPECT_EQ(SendMessageA(hBar, PBM_GETRANGE, FALSE, 0), 200);
    EXPECT_EQ(dlg.SetPosition(150), 0);
    EXPECT_EQ(SendMessageA(hBar, PBM_GETPOS, 0, 0), 150);
    SetWindowSubclass(GetDlgItem(hDlg, IDC_PROGRESS_PERCENT), CountSetText, 1, 0);
    EXPECT_EQ(dlg.SetPosition(150), 150);
    EXPECT_EQ(g_nPercentSetTexts, 0);
    dlg.SetPosition(160);
    EXPECT_EQ(g_nPercentSetTexts, 1);
    EXPECT_EQ(ControlText(hDlg, IDC_PROGRESS_PERCENT), "80%");

    // Cancel, Escape and the close box each count once; the start-up decides
    // when to close it. Enter, even on the focused Cancel button, and an IDOK
    // command neither cancel nor close.
    HWND hCancel = GetDlgItem(hDlg, IDCANCEL);
    EXPECT_EQ(GetWindowTextString(hCancel), "Cancel");
    EXPECT_FALSE(dlg.IsCancelPressed());
    for (int nWay = 0; nWay < 3; ++nWay) {
        SetFocus(hCancel);
        if (nWay == 0) PostMessageA(hCancel, BM_CLICK, 0, 0);
        if (nWay == 1) PostKey(hCancel, VK_ESCAPE);
        if (nWay == 2) PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        // The dialog's own pump sees the keys (the close box's Cancel comes posted).
        bool bPressed = false;
        for (int nTry = 0; nTry < 50 && !(bPressed = dlg.IsCancelPressed() != 0); ++nTry) Sleep(20);
        EXPECT_TRUE(bPressed) << nWay;
        EXPECT_FALSE(dlg.IsCancelPressed()) << nWay;
        EXPECT_TRUE(IsWindowVisible(hDlg)) << nWay;
    }
    SetFocus(hCancel);
    PostKey(hCancel, VK_RETURN);
    PostMessageA(hCancel, WM_CHAR, '\r', 1);
    PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
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

// The owner (the main window at a restart) is disabled while the dialog is
// open, and enabled again when it is destroyed or deleted; an owner that was
// disabled already stays so.
TEST(ProgressDlgTest, OwnerIsDisabledWhileOpenAndEnabledOnDestroyOrDelete) {
    DrainQueue();
    HWND hMain = CreateWindowA("STATIC", "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    SetMainWindow(hMain);
    // Destroyed, deleted while open, and over an owner disabled before.
    for (int nRound = 0; nRound < 3; ++nRound) {
        const bool bDisabledBefore = nRound == 2;
        EnableWindow(hMain, !bDisabledBefore);
        auto pDlg = std::make_unique<CInitProgressDlg>(0);
        ASSERT_TRUE(pDlg->Open(nullptr));
        EXPECT_EQ(pDlg->GetOwnerWindow(), hMain);
        pDlg->SetPosition(50);
        EXPECT_FALSE(IsWindowEnabled(hMain));
        HWND hDlg = pDlg->GetHwnd();
        if (nRound != 1) {
            pDlg->DestroyWindow();
            EXPECT_EQ(pDlg->GetHwnd(), nullptr);
            EXPECT_EQ(IsWindowEnabled(hMain) != 0, !bDisabledBefore);
        }
        pDlg.reset();
        EXPECT_FALSE(IsWindow(hDlg));
        EXPECT_EQ(IsWindowEnabled(hMain) != 0, !bDisabledBefore);
    }
    SetMainWindow(nullptr);
    DestroyWindow(hMain);
    DrainQueue();
}

}  // namespace
