// The program's windows in-process under the fake TAPI: the frame and its
// panes, menus and keys, right-click menus and the commands they lead to,
// TAPI events arriving through the message loop, the trees under a stream of
// events, the Information dialog, the status bar, Find, Save Line Reports,
// restart, failed start-up, a close during start-up, the placement kept
// between runs, and the start-up progress dialog on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <tuple>
#include <utility>

#include "app/LinoscopeApp.h"
#include "app/MainFrame.h"
#include "monitor/LinoscopeDoc.h"
#include "presentation/EventLogWriter.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"
#include "support/StartupScene.h"
#include "support/TestFiles.h"
#include "views/win/InitProgressDlg.h"
#include "views/win/Settings.h"
#include "views/win/resource.h"
#include "win32/Window.h"

namespace {

constexpr const char* kMaker = "Talvora ZR-40N";
constexpr size_t npos = std::string::npos;
using Texts = std::vector<std::string>;
// A menu's entries: their texts and their command ids.
using Menu = std::pair<Texts, std::vector<UINT>>;
// Message boxes carry their text in the static control 0xFFFF.
constexpr int kMessageText = 0xFFFF;

// Runs every pending message of the thread until the queue is empty, the
// program's way (its input first, painting and timers at least every few
// events, its accelerators) when an application is given; TRUE when a
// WM_QUIT was among them. Without an application it empties the queue.
BOOL PumpMessages(CLinoscopeApp* pApp = nullptr) {
    BOOL bQuit = FALSE;
    MSG msg;
    while (pApp != nullptr ? pApp->NextMessage(&msg, FALSE) : PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        bQuit = bQuit || msg.message == WM_QUIT;
        if (msg.message == WM_QUIT || (pApp != nullptr && pApp->PreTranslateMessage(&msg))) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return bQuit;
}

// Runs `action` with that key (when not 0) held down for the thread.
void WithKey(BYTE key, const std::function<void()>& action) {
    BYTE saved[256], state[256];
    GetKeyboardState(saved);
    std::memcpy(state, saved, sizeof state);
    if (key != 0) state[key] |= 0x80;
    SetKeyboardState(state);
    action();
    SetKeyboardState(saved);
}

// What the window's client area shows on the screen at this moment (not a
// fresh painting), as 32-bit pixels, top row first; empty when it cannot be read.
std::vector<BYTE> ClientPixels(HWND hWnd) {
    RECT rc{};
    GetClientRect(hWnd, &rc);
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* pBits = nullptr;
    HDC hWindowDC = GetDC(hWnd);
    HDC hMemDC = CreateCompatibleDC(hWindowDC);
    HBITMAP hBitmap = CreateDIBSection(hMemDC, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HGDIOBJ hOld = SelectObject(hMemDC, hBitmap);
    std::vector<BYTE> pixels;
    if (hBitmap != nullptr && BitBlt(hMemDC, 0, 0, rc.right, rc.bottom, hWindowDC, 0, 0, SRCCOPY) && GdiFlush())
        pixels.assign(static_cast<BYTE*>(pBits), static_cast<BYTE*>(pBits) + 4 * rc.right * rc.bottom);
    SelectObject(hMemDC, hOld);
    DeleteObject(hBitmap);
    DeleteDC(hMemDC);
    ReleaseDC(hWnd, hWindowDC);
    return pixels;
}

// What TAPI's hidden window does: a message arrives in the thread's queue,
// and its window procedure calls the program's callback. The events wait in
// g_tapiEvents.
std::deque<std::function<void()>> g_tapiEvents;
std::function<void()> g_onPaneDestroy;
int g_nSetTexts = 0;

// The subclass procedure of the tests' own TAPI window, which delivers the
// events, and of controls watched: g_onPaneDestroy runs when one is
// destroyed, g_nSetTexts counts the texts set on them. A named CALLBACK
// function: a lambda has the default calling convention, which on 32-bit
// Windows is not a subclass procedure's.
LRESULT CALLBACK WatchWindow(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (uMsg == WM_DESTROY && g_onPaneDestroy) g_onPaneDestroy();
    g_nSetTexts += uMsg == WM_SETTEXT;
    if (uMsg != WM_APP || g_tapiEvents.empty()) return DefSubclassProc(hWnd, uMsg, wParam, lParam);
    const std::function<void()> deliver = std::move(g_tapiEvents.front());
    g_tapiEvents.pop_front();
    deliver();
    return 0;
}

void PostTapiEvent(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwParam1, DWORD_PTR dwParam2 = 0, DWORD_PTR dwParam3 = 0) {
    static HWND hWnd = [] {
        HWND hTapiWindow = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowSubclass(hTapiWindow, WatchWindow, 1, 0);
        return hTapiWindow;
    }();
    g_tapiEvents.push_back([=] {
        if (CFakeTapi* pFake = CFakeTapi::Current()) pFake->Deliver(hDevice, dwMessage, dwParam1, dwParam2, dwParam3);
    });
    PostMessageA(hWnd, WM_APP, 0, 0);
}

Menu ReadMenu(HMENU hMenu) {
    Menu menu;
    for (int i = 0; i < GetMenuItemCount(hMenu); ++i) {
        char szText[128] = "";
        GetMenuStringA(hMenu, static_cast<UINT>(i), szText, sizeof szText, MF_BYPOSITION);
        menu.first.push_back(szText);
        menu.second.push_back(GetMenuItemID(hMenu, i));
    }
    return menu;
}

// The context menu as it opens: its entries are recorded, then the first one
// is picked (Down, Enter) or the menu dismissed (Escape).
Menu* g_pCaughtMenu = nullptr;
bool g_bChoose = false;

LRESULT CALLBACK MenuHook(int nCode, WPARAM wParam, LPARAM lParam) {
    auto* pMsg = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (nCode == HC_ACTION && g_pCaughtMenu != nullptr && pMsg->message == WM_INITMENUPOPUP) {
        *g_pCaughtMenu = ReadMenu(reinterpret_cast<HMENU>(pMsg->wParam));
        PostMessageA(pMsg->hwnd, WM_KEYDOWN, g_bChoose ? VK_DOWN : VK_ESCAPE, 1);
        if (g_bChoose) PostMessageA(pMsg->hwnd, WM_CHAR, '\r', 1);
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

// What the menu the message opens offers (nothing when none opens), sent to
// the window; a right-click's button-up waits in the queue, as the control
// follows the button until it is released.
Menu CatchMenu(bool bChoose, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    Menu menu;
    g_pCaughtMenu = &menu;
    g_bChoose = bChoose;
    HHOOK hHook = SetWindowsHookExA(WH_CALLWNDPROC, MenuHook, nullptr, GetCurrentThreadId());
    if (uMsg == WM_RBUTTONDOWN) PostMessageA(hWnd, WM_RBUTTONUP, 0, lParam);
    SendMessageA(hWnd, uMsg, wParam, lParam);
    UnhookWindowsHookEx(hHook);
    g_pCaughtMenu = nullptr;
    return menu;
}

class AppWindowTest : public ::testing::Test {
protected:
    // Each test starts with the window where the system puts it, and leaves
    // no placement behind for later programs in this Wine prefix.
    void SetUp() override {
        TearDown();
        s_pTest = this;
        m_nTimer = SetTimer(nullptr, 0, 30, AnswerDialogs);
    }
    void TearDown() override {
        KillTimer(nullptr, m_nTimer);
        m_answers.clear();
        m_pApp.reset();
        PumpMessages();
        g_tapiEvents.clear();
        SetMainWindow(nullptr);
        RegDeleteTreeA(HKEY_CURRENT_USER, settings::kApplicationKey);
    }

    // EXT lines 201, 99 and 1000, CO lines 21 (named Sales) and 7, one ETC
    // line of another provider whose name and address agree.
    void AddScene() {
        AddLine(0, kMaker, 0x3001, "EXT 201", "201");
        AddLine(1, kMaker, 0x3002, "EXT 99", "99");
        AddLine(2, kMaker, 0x3003, "EXT 1000", "1000");
        AddLine(3, "Talvora ZR-40", 0x1001, "CO 21", "21");
        AddLine(4, "Talvora ZR-40", 0x1002, "CO 7", "7");
        AddLine(5, "Other Modem Provider", 0x0001, "Modem", "Modem");
        m_fake.m_addressStatus[CFakeTapi::LineHandleFor(3)] = startup_scene::CoNameStatus("Sales");
        m_fake.m_dwNumDevs = 6;
    }
    void AddLine(DWORD dwDevice, const std::string& strProvider, DWORD dwPermanentID, const std::string& strName,
                 const std::string& strAddress) {
        m_fake.m_devCaps[dwDevice] = CFakeTapi::MakeDevCaps(strProvider, dwPermanentID, strName);
        m_fake.m_addressCaps[dwDevice] = CFakeTapi::MakeAddressCaps(dwDevice, strAddress);
    }
    // The lines open on the device each asks for, `watch` told of each.
    void WatchOpens(const std::function<void(DWORD)>& watch) {
        m_fake.OnOpen = [=](HLINEAPP, DWORD dwDevice, HLINE* phLine, DWORD, DWORD) -> LONG {
            *phLine = CFakeTapi::LineHandleFor(dwDevice);
            watch(dwDevice);
            return 0;
        };
    }
    // A new run of the program, the queue of the one before emptied.
    BOOL Start(bool bPump = true) {
        m_pApp.reset();
        PumpMessages();
        m_bQuit = false;
        m_pApp = std::make_unique<CLinoscopeApp>(GetModuleHandleA(nullptr));
        const BOOL bStarted = m_pApp->InitInstance();
        if (bPump) Pump([] { return true; });
        return bStarted;
    }
    // File > Exit; false when the program never asks to end.
    bool Exit() {
        return PostMessageA(Frame(), WM_COMMAND, ID_APP_EXIT, 0) && Pump([this] { return m_bQuit; });
    }
    // Runs the loop until the condition holds (true) or the time is up (false).
    bool Pump(const std::function<bool()>& condition, DWORD dwMs = 5000) {
        for (const DWORD dwStart = GetTickCount();;) {
            m_bQuit = PumpMessages(m_pApp.get()) || m_bQuit;
            if (condition()) return true;
            if (GetTickCount() - dwStart > dwMs) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
    }
    // Every event taken in and shown: the views refresh on their own time.
    bool Idle() {
        return Pump([this] {
            CMainFrame* pFrame = m_pApp->GetMainFrame();
            return g_tapiEvents.empty() && !pFrame->GetCoView()->GetTreeCtrl().HasChanges() &&
                   !pFrame->GetExtView()->GetTreeCtrl().HasChanges() &&
                   !pFrame->GetEtcView()->GetTreeCtrl().HasChanges();
        });
    }
    // A round of calls on every line of a busy office (nLines extensions
    // 1700... and as many trunks 0050...), delivered as a stream arrives: one
    // event at a time, the loop (and painting) running after each, or (bQueue)
    // all of them left waiting. Each call rings with a long caller ID, gets a
    // short one, is answered; the call of the round before goes idle on every
    // other line.
    void DeliverCallRound(int nLines, HCALL hFirstCall, HCALL hPreviousFirst, bool bQueue = false) {
        const auto deliver = [&](DWORD hDevice, DWORD dwMessage, DWORD_PTR dwParam1, DWORD_PTR dwParam2 = 0,
                                 DWORD_PTR dwParam3 = 0) {
            PostTapiEvent(hDevice, dwMessage, dwParam1, dwParam2, dwParam3);
            if (!bQueue) PumpMessages(m_pApp.get());
        };
        for (int i = 0; i < 2 * nLines; ++i) {
            const HLINE hLine = CFakeTapi::LineHandleFor(static_cast<DWORD>(i));
            const HCALL hCall = hFirstCall + static_cast<HCALL>(i);
            m_fake.m_callInfo[hCall] = CFakeTapi::MakeCallInfo(hLine, "0123456789012345", "1700");
            deliver(hLine, LINE_APPNEWCALL, 0, hCall, LINECALLPRIVILEGE_MONITOR);
            deliver(hCall, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_MONITOR);
            m_fake.m_callInfo[hCall] = CFakeTapi::MakeCallInfo(hLine, "8050", "1700");
            deliver(hCall, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID);
            deliver(hCall, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
            if (hPreviousFirst != 0 && i % 2 == 0)
                deliver(hPreviousFirst + static_cast<HCALL>(i), LINE_CALLSTATE, LINECALLSTATE_IDLE);
        }
        if (!bQueue) Idle();
    }
    // A key pressed (down and up) in the window, with that key held, and the
    // loop run.
    void Press(HWND hWnd, UINT nKey, BYTE held = 0) {
        WithKey(held, [&] {
            const LPARAM lScan = static_cast<LPARAM>(MapVirtualKeyA(nKey, MAPVK_VK_TO_VSC) << 16);
            PostMessageA(hWnd, WM_KEYDOWN, nKey, 1 | lScan);
            PostMessageA(hWnd, WM_KEYUP, nKey, static_cast<LPARAM>(1 | lScan | (3u << 30)));
            m_bQuit = PumpMessages(m_pApp.get()) || m_bQuit;
        });
    }
    HWND Frame() const { return m_pApp->GetMainFrame()->GetHwnd(); }
    HWND Pane(int nColumn) const { return m_pApp->GetMainFrame()->GetSplitter().GetPane(nColumn); }
    // The line of that label in the pane, or null.
    HTREEITEM Line(int nColumn, const std::string& strLabel) const {
        for (const auto& [hItem, strText] : Items(Pane(nColumn), TreeView_GetRoot(Pane(nColumn))))
            if (strText == strLabel) return hItem;
        return nullptr;
    }
    // The children of an item (TVI_ROOT: the top level) and their texts.
    static std::vector<std::pair<HTREEITEM, std::string>> Items(HWND hTree, HTREEITEM hParent) {
        std::vector<std::pair<HTREEITEM, std::string>> items;
        HTREEITEM hItem = hParent == TVI_ROOT ? TreeView_GetRoot(hTree) : TreeView_GetChild(hTree, hParent);
        for (; hItem != nullptr; hItem = TreeView_GetNextSibling(hTree, hItem)) {
            char szText[512] = "";
            TVITEMA item{TVIF_TEXT, hItem, 0, 0, szText, sizeof szText, 0, 0, 0, 0};
            SendMessageA(hTree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
            items.emplace_back(hItem, szText);
        }
        return items;
    }
    // What the tree shows: an item a line, indented by its depth; an item's
    // children only while it is expanded.
    static std::string TreeText(HWND hTree, HTREEITEM hParent = TVI_ROOT, const std::string& strIndent = "") {
        std::string strText;
        for (const auto& [hItem, strItem] : Items(hTree, hParent)) {
            strText += strIndent + strItem + "\n";
            if (TreeView_GetItemState(hTree, hItem, TVIS_EXPANDED) & TVIS_EXPANDED)
                strText += TreeText(hTree, hItem, strIndent + "  ");
        }
        return strText;
    }
    std::string StatusText(int nPart) const {
        char szText[512] = "";
        SendMessageA(m_pApp->GetMainFrame()->GetStatusBar(), SB_GETTEXTA, static_cast<WPARAM>(nPart),
                     reinterpret_cast<LPARAM>(szText));
        return szText;
    }
    // The item's menu, as the mouse's right button opens it.
    static Menu RightClick(HWND hTree, HTREEITEM hItem, bool bChoose) {
        RECT rc{};
        TreeView_GetItemRect(hTree, hItem, &rc, TRUE);
        const LPARAM lPoint = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        return CatchMenu(bChoose, hTree, WM_RBUTTONDOWN, MK_RBUTTON, lPoint);
    }
    static std::string ControlText(HWND hDlg, int nId) { return GetWindowTextString(GetDlgItem(hDlg, nId)); }
    // Presses a dialog button the way a click does (posted, so it runs in the loop).
    static void PostClick(HWND hDlg, int nId) { PostMessageA(hDlg, WM_COMMAND, nId, 0); }
    // Fills in the common Save dialog's file name and presses Save; returns the
    // name the dialog offered.
    static std::string AnswerSaveDialog(HWND hDlg, const std::string& strPath) {
        // The file name box of the Explorer-style dialog (cmb13), or of the old style one (edt1).
        const int nId = GetDlgItem(hDlg, 0x47C) != nullptr ? 0x47C : 0x480;
        std::string strOffered = ControlText(hDlg, nId);
        SetDlgItemTextA(hDlg, nId, strPath.c_str());
        PostClick(hDlg, IDOK);
        return strOffered;
    }
    static std::pair<LONG, LONG> SizeOf(HWND hWnd) {
        RECT rc{};
        GetWindowRect(hWnd, &rc);
        return {rc.right - rc.left, rc.bottom - rc.top};
    }
    static bool CentredOver(HWND hWnd, HWND hOver) {
        RECT a{}, b{};
        GetWindowRect(hWnd, &a);
        GetWindowRect(hOver, &b);
        return std::abs(a.left + a.right - b.left - b.right) <= 4 && std::abs(a.top + a.bottom - b.top - b.bottom) <= 4;
    }
    // What the window shows now is what it paints afresh: no stale or
    // overlapping pixels.
    static bool ShowsItsFreshPainting(HWND hWnd) {
        const std::vector<BYTE> shown = ClientPixels(hWnd);
        RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return !shown.empty() && shown == ClientPixels(hWnd);
    }
    // A file of that name in the working folder, not there yet.
    static std::string NewFile(const std::string& strName) {
        DeleteFileA(strName.c_str());
        return std::filesystem::absolute(strName).string();
    }

    // Dialog boxes of this thread are answered from a timer, which runs inside
    // any modal loop: each visible dialog box whose title has an action (the
    // empty title: each Yes/No message box) gets it once, with the number of
    // dialogs it answered before. Answer returns that number.
    const int& Answer(const std::string& strTitle, std::function<void(HWND, int)> action) {
        m_answers[strTitle] = {std::move(action), 0};
        return m_answers[strTitle].second;
    }
    static void CALLBACK AnswerDialogs(HWND, UINT, UINT_PTR, DWORD) {
        // Forget dialogs that are gone: their handles may come back for new ones.
        std::erase_if(s_pTest->m_answered, [](HWND hWnd) { return !IsWindowVisible(hWnd); });
        std::vector<HWND> dialogs;
        for (HWND hDlg = nullptr; (hDlg = FindWindowExA(nullptr, hDlg, "#32770", nullptr)) != nullptr;) {
            if (IsWindowVisible(hDlg) && GetWindowThreadProcessId(hDlg, nullptr) == GetCurrentThreadId())
                dialogs.push_back(hDlg);
        }
        for (HWND hDlg : dialogs) {
            const bool bQuestion =
                GetDlgItem(hDlg, kMessageText) && (GetDlgItem(hDlg, IDYES) || GetDlgItem(hDlg, IDNO));
            const auto it = s_pTest->m_answers.find(bQuestion ? "" : GetWindowTextString(hDlg));
            if (it != s_pTest->m_answers.end() && s_pTest->m_answered.insert(hDlg).second)
                it->second.first(hDlg, it->second.second++);
        }
    }

    CFakeTapi m_fake;
    std::unique_ptr<CLinoscopeApp> m_pApp;
    bool m_bQuit = false;  // whether the program asked to end since it started
    static inline AppWindowTest* s_pTest = nullptr;
    UINT_PTR m_nTimer = 0;
    std::map<std::string, std::pair<std::function<void(HWND, int)>, int>> m_answers;
    std::set<HWND> m_answered;
};

TEST_F(AppWindowTest, StartShowsMenuSortedPanesF6AboutAStatusBarCountingTheHeldLogAndFindAcrossPanes) {
    AddScene();
    // At the first start the progress dialog is up while the lines open, with
    // no main window yet to disable.
    int nOpensUnderProgress = 0;
    WatchOpens([&](DWORD) {
        HWND hProgress = FindWindowA("#32770", "Linoscope3");
        nOpensUnderProgress += hProgress != nullptr && GetDlgItem(hProgress, IDC_PROGRESS_BAR) != nullptr &&
                               IsWindowVisible(hProgress) && GetMainWindow() == nullptr;
    });
    ASSERT_TRUE(Start());
    EXPECT_EQ(nOpensUnderProgress, 6);
    EXPECT_EQ(FindWindowA("#32770", "Linoscope3"), nullptr);  // gone again
    EXPECT_EQ(GetWindowTextString(Frame()), "Linoscope3");

    HMENU hMenu = GetMenu(Frame());
    EXPECT_EQ(ReadMenu(hMenu).first, (Texts{"&File", "&Edit", "&View", "&Help"}));
    const Menu menus[] = {{{"&Save Line Reports...\tCtrl+S", "", "E&xit"}, {ID_FILE_SAVE_REPORTS, 0, ID_APP_EXIT}},
                          {{"&Find...\tCtrl+F", "Find &Next\tF3"}, {ID_EDIT_FIND, ID_EDIT_REPEAT}},
                          {{"&Follow Events"}, {ID_VIEW_FOLLOW_EVENTS}},
                          {{"&About Linoscope3..."}, {ID_APP_ABOUT}}};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ReadMenu(GetSubMenu(hMenu, i)), menus[i]) << i;

    // Three tree controls left to right, CO, EXT, ETC, the first two a third
    // of the client width each; lines sorted by label as text, regardless of
    // case, the roots expanded. Buttons, lines, lines at the root, always a
    // selection; a border.
    RECT rcClient{}, rc[3]{};
    GetClientRect(Frame(), &rcClient);
    const char* const trees[] = {"CO\n  0007\n  0021 Sales\n", "EXT\n  1000\n  201\n  99\n", "ETC\n  Modem\n"};
    for (int nColumn = 0; nColumn < 3; ++nColumn) {
        EXPECT_EQ(GetWindowLongPtrA(Pane(nColumn), GWL_STYLE) & (0x27 | WS_BORDER), 0x27 | WS_BORDER) << nColumn;
        EXPECT_EQ(TreeText(Pane(nColumn)), trees[nColumn]);
        GetWindowRect(Pane(nColumn), &rc[nColumn]);
    }
    // The texts the panes draw come from the program when asked, in either
    // character set the control asks in.
    SendMessageA(Pane(1), TVM_SETUNICODEFORMAT, TRUE, 0);
    EXPECT_EQ(TreeText(Pane(1)), trees[1]);
    SendMessageA(Pane(1), TVM_SETUNICODEFORMAT, FALSE, 0);  // as the program keeps it
    EXPECT_TRUE(rc[0].left < rc[1].left && rc[1].left < rc[2].left);
    EXPECT_EQ(std::pair(rc[0].right - rc[0].left, rc[1].right - rc[1].left),
              std::pair(rcClient.right / 3, rcClient.right / 3));

    // F6 moves the focus to the next pane, round the end; Shift+F6 back.
    SetFocus(Pane(0));
    for (const auto& [bShift, nTo] : {std::pair{false, 1}, {false, 2}, {false, 0}, {true, 2}}) {
        Press(GetFocus(), VK_F6, bShift ? VK_SHIFT : 0);
        EXPECT_EQ(GetFocus(), Pane(nTo)) << nTo;
    }

    // About: the icon first, then the product version, centred over the frame.
    EXPECT_TRUE(std::regex_match(m_pApp->m_strVersion, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << m_pApp->m_strVersion;
    const int& nAbouts = Answer("About Linoscope3", [&](HWND hDlg, int) {
        HWND hIcon = GetWindow(hDlg, GW_CHILD);
        EXPECT_EQ(GetWindowLongPtrA(hIcon, GWL_STYLE) & SS_TYPEMASK, SS_ICON);
        EXPECT_NE(SendMessageA(hIcon, STM_GETICON, 0, 0), 0);
        EXPECT_EQ(GetWindowTextString(GetWindow(hIcon, GW_HWNDNEXT)),
                  "Talvora Linoscope3 Version " + m_pApp->m_strVersion);
        EXPECT_TRUE(CentredOver(hDlg, Frame()));
        PostClick(hDlg, IDOK);
    });
    PostMessageA(Frame(), WM_COMMAND, ID_APP_ABOUT, 0);
    EXPECT_TRUE(Pump([&] { return nAbouts == 1 && FindWindowA("#32770", "About Linoscope3") == nullptr; }));

    // The status bar: the lines of each group, the calls, the events, the log.
    const HLINE hExt201 = CFakeTapi::LineHandleFor(0);
    m_fake.m_callInfo[0x7001] = CFakeTapi::MakeCallInfo(hExt201, "301", "201");
    const auto status = [&] { return StatusText(0) + "|" + StatusText(1) + "|" + StatusText(2) + "|" + StatusText(3); };
    EXPECT_EQ(status(), "CO 2   EXT 3   ETC 1|Calls 0|Events 0|Log testlog.csv");

    // Another program holds the log: records wait, and the status bar says so.
    CEventLogWriter& log = *m_pApp->GetDocument()->m_pEventLog;
    CFileHolder holder("testlog.csv");
    ASSERT_TRUE(holder.IsHeld());
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7001, LINECALLPRIVILEGE_MONITOR);
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_MONITOR);
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
    ASSERT_TRUE(Idle());
    Pump([] { return false; }, 400);  // what the program put off (a coalesced refresh) is done
    EXPECT_GE(log.GetWaitingCount(), 2u);
    EXPECT_EQ(status(), "CO 2   EXT 3   ETC 1|Calls 1|Events 3|Log held by another program: " +
                            std::to_string(log.GetWaitingCount()) + " records waiting");
    // Let go: with no event to come, the retry timer writes what waited.
    holder.Release();
    EXPECT_TRUE(Pump([&] { return log.GetWaitingCount() == 0 && StatusText(3) == "Log testlog.csv"; }));
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    EXPECT_TRUE(Pump([&] { return StatusText(1) == "Calls 0" && StatusText(2) == "Events 4"; }));

    // Edit > Find: part of a label, across the panes CO, EXT, ETC and round.
    const int& nFinds = Answer("Find Line", [&](HWND hDlg, int) {
        SetDlgItemTextA(hDlg, IDC_FIND_TEXT, "1");
        PostClick(hDlg, IDOK);
    });
    TreeView_SelectItem(Pane(0), Line(0, "0021 Sales"));
    SetFocus(Pane(0));
    Press(Pane(0), 'F', VK_CONTROL);
    ASSERT_TRUE(Pump([&] { return nFinds == 1 && GetFocus() == Pane(1); }));
    EXPECT_EQ(TreeView_GetSelection(Pane(1)), Line(1, "1000"));
    for (const auto& [nColumn, pszLabel] : {std::pair{1, "201"}, {0, "0021 Sales"}, {1, "1000"}}) {
        Press(GetFocus(), VK_F3);
        EXPECT_EQ(GetFocus(), Pane(nColumn)) << pszLabel;
        EXPECT_EQ(TreeView_GetSelection(Pane(nColumn)), Line(nColumn, pszLabel)) << pszLabel;
    }
    // A text no line has leaves the selection alone.
    EXPECT_FALSE(m_pApp->GetMainFrame()->FindLine("Desk 42"));
    EXPECT_EQ(TreeView_GetSelection(Pane(1)), Line(1, "1000"));
    EXPECT_EQ(nFinds, 1);
}

// Right-click selects the item and offers its menu; the chosen command
// reports on that item in the Information dialog. That dialog can be resized
// and maximized (the text follows), selects all with Ctrl+A, copies with
// Ctrl+C, saves under the line's name and the time, and opens again at the
// size it was left at, centred over the frame. Drop, which no menu offers,
// is routed by the EXT view to the monitor. Save Line Reports writes them all.
TEST_F(AppWindowTest, MenusReportOnItemsInAnInformationDialogThatResizesCopiesAndSavesAsSaveLineReportsDoes) {
    AddScene();
    const HLINE hExt201 = CFakeTapi::LineHandleFor(0);
    m_fake.m_callInfo[0x7001] = CFakeTapi::MakeCallInfo(hExt201, "301", "201");
    m_fake.m_callStatus[0x7001] = CFakeTapi::MakeCallStatus(LINECALLSTATE_CONNECTED);
    ASSERT_TRUE(Start());
    // Room on the screen for the enlarged dialog centred over the frame.
    SetWindowPos(Frame(), nullptr, 0, 0, 1280, 790, SWP_NOZORDER);
    HWND hExt = Pane(1);
    HTREEITEM h201 = Line(1, "201");
    TreeView_SelectItem(hExt, TreeView_GetRoot(hExt));
    const std::string strPath = NewFile("test_win_saved_reports.txt");
    std::string strOffered;
    const int& nSaves = Answer("Save As", [&](HWND hDlg, int) { strOffered = AnswerSaveDialog(hDlg, strPath); });
    Texts infos;
    std::pair<LONG, LONG> resized;
    const int& nInfos = Answer("Information", [&](HWND hDlg, int nIndex) {
        HWND hText = GetDlgItem(hDlg, IDC_INFO_TEXT);
        infos.push_back(GetWindowTextString(hText));
        if (nIndex == 0) {
            const LONG_PTR style = GetWindowLongPtrA(hDlg, GWL_STYLE);
            EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), WS_THICKFRAME | WS_MAXIMIZEBOX);
            const auto [cxText, cyText] = SizeOf(hText);
            const auto [cx, cy] = SizeOf(hDlg);
            SetWindowPos(hDlg, nullptr, 0, 0, cx + 200, cy + 120, SWP_NOMOVE | SWP_NOZORDER);
            resized = SizeOf(hDlg);
            EXPECT_EQ(SizeOf(hText), std::pair(cxText + 200, cyText + 120));
            SetFocus(hText);
            EXPECT_TRUE(OpenClipboard(hDlg) && EmptyClipboard() && CloseClipboard());
            WithKey(VK_CONTROL, [&] {
                SendMessageA(hText, WM_KEYDOWN, 'A', 0);
                SendMessageA(hText, WM_KEYDOWN, 'C', 0);
            });
            EXPECT_TRUE(OpenClipboard(hDlg));
            HANDLE hData = GetClipboardData(CF_TEXT);
            const char* pszCopied = static_cast<const char*>(GlobalLock(hData));
            EXPECT_EQ(pszCopied != nullptr ? pszCopied : "(nothing)", infos[0]);
            GlobalUnlock(hData);
            CloseClipboard();
            // Save... runs the Save dialog and writes before it returns.
            SendMessageA(hDlg, WM_COMMAND, IDC_INFO_SAVE, 0);
            EXPECT_EQ(ReadFileBytes(strPath), infos[0]);
        } else {
            EXPECT_EQ(SizeOf(hDlg), resized);
            EXPECT_TRUE(CentredOver(hDlg, Frame()));
        }
        PostClick(hDlg, IDOK);
    });
    const Menu lineMenu{{"Line Information"}, {ID_LINE_INFORMATION}};
    EXPECT_EQ(RightClick(hExt, h201, true), lineMenu);
    EXPECT_EQ(TreeView_GetSelection(hExt), h201);
    ASSERT_TRUE(Pump([&] { return nInfos == 1 && FindWindowA("#32770", "Information") == nullptr; }));
    const std::string strReports = ReadFileBytes(LSC_GOLDEN_DIR "/../win/line_reports.txt");
    EXPECT_NE(strReports.find("==== 201 ====\r\n" + infos[0] + "\r\n"), npos) << infos[0];
    EXPECT_EQ(strOffered.rfind("201 20", 0), 0u) << strOffered;  // the line, then the time
    DeleteFileA(strPath.c_str());

    // No menu on a root; the CO view's line menu is its own; dismissed,
    // nothing runs. From the keyboard (Shift+F10) the selected line's menu.
    EXPECT_EQ(RightClick(hExt, TreeView_GetRoot(hExt), false), Menu{});
    EXPECT_EQ(TreeView_GetSelection(hExt), TreeView_GetRoot(hExt));
    EXPECT_EQ(RightClick(Pane(0), Line(0, "0021 Sales"), false), lineMenu);
    TreeView_SelectItem(hExt, h201);
    SetFocus(hExt);
    EXPECT_EQ(CatchMenu(false, hExt, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hExt), MAKELPARAM(-1, -1)), lineMenu);
    EXPECT_EQ(infos.size(), 1u);

    // A call's menu offers Call Information, and its report follows; a detail
    // item has no menu.
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7001, LINECALLPRIVILEGE_MONITOR);
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
    ASSERT_TRUE(Idle());
    const auto calls = Items(hExt, h201);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(RightClick(hExt, calls[0].first, true), (Menu{{"Call Information"}, {ID_CALL_INFORMATION}}));
    ASSERT_TRUE(Pump([&] { return nInfos == 2 && FindWindowA("#32770", "Information") == nullptr; }));
    EXPECT_NE(infos[1].find("\"301\""), npos) << infos[1];
    HTREEITEM hDetail = TreeView_GetChild(hExt, calls[0].first);
    EXPECT_EQ(RightClick(hExt, hDetail, false), Menu{});
    EXPECT_EQ(TreeView_GetSelection(hExt), hDetail);

    TreeView_SelectItem(hExt, calls[0].first);
    m_fake.ClearCalls();
    PostMessageA(Frame(), WM_COMMAND, ID_DROP, 0);
    ASSERT_TRUE(Pump([&] { return m_fake.Count("lineDrop") == 1; }));
    EXPECT_EQ(m_fake.CallsOf("lineDrop")[0].args.at(0), 0x7001u);

    // The call gone, File > Save Line Reports (Ctrl+S) writes the report of
    // every line at once, offering a name with the time.
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    ASSERT_TRUE(Idle());
    SetFocus(Pane(0));
    Press(Pane(0), 'S', VK_CONTROL);
    ASSERT_TRUE(Pump([&] { return std::filesystem::exists(strPath); }));
    EXPECT_EQ(strOffered.rfind("Line reports 20", 0), 0u) << strOffered;
    // EXT, CO, ETC, each in its tree's order, each line once, its report
    // under its label.
    EXPECT_EQ(ReadFileBytes(strPath), strReports);

    // Cancel while the reports are gathered: the progress dialog (over the
    // frame) goes, the file is not written, the window is usable again.
    // Then a restart that runs while they are gathered (its command already
    // queued) takes the lines away: the save stops, nothing is written, the
    // new trees are there.
    for (const bool bRestart : {false, true}) {
        SCOPED_TRACE(bRestart ? "restart" : "cancel");
        DeleteFileA(strPath.c_str());
        int nFetched = 0;
        m_fake.ClearCalls();
        m_fake.OnGetLineDevStatus = [&](HLINE, LINEDEVSTATUS*) -> LONG {
            if (++nFetched != 2) return LINEERR_INVALLINEHANDLE;
            HWND hProgress = FindWindowA("#32770", "Linoscope3");
            EXPECT_TRUE(hProgress != nullptr && CentredOver(hProgress, Frame()));
            if (bRestart)
                PostMessageA(Frame(), WM_COMMAND, ID_FILE_NEW, 0);
            else
                PostClick(hProgress, IDCANCEL);
            return LINEERR_INVALLINEHANDLE;
        };
        PostMessageA(Frame(), WM_COMMAND, ID_FILE_SAVE_REPORTS, 0);
        ASSERT_TRUE(Pump([&] {
            return nSaves == (bRestart ? 4 : 3) && m_fake.Count("lineInitializeEx") == (bRestart ? 1u : 0u) &&
                   FindWindowA("#32770", "Linoscope3") == nullptr;
        }));
        PumpMessages(m_pApp.get());
        EXPECT_TRUE(bRestart || nFetched == 2);
        EXPECT_FALSE(std::filesystem::exists(strPath));
        EXPECT_TRUE(IsWindowEnabled(Frame()));
        EXPECT_EQ(TreeText(Pane(1)), "EXT\n  1000\n  201\n  99\n");
    }
}

TEST_F(AppWindowTest, TreesStayCleanUnderAStreamOfEventsAndFollowEventsOffKeepsThemStill) {
    constexpr int kLines = 20;
    for (int i = 0; i < kLines; ++i) {
        const auto dwDevice = static_cast<DWORD>(i);
        AddLine(dwDevice, kMaker, 0x3001 + dwDevice, "EXT " + std::to_string(1700 + i), std::to_string(1700 + i));
        AddLine(kLines + dwDevice, "Talvora ZR-40", 0x1001 + dwDevice, "CO " + std::to_string(50 + i),
                std::to_string(50 + i));
    }
    m_fake.m_dwNumDevs = 2 * kLines;
    ASSERT_TRUE(Start());
    // Every pane on the screen, none covering another.
    SetWindowPos(Frame(), HWND_TOP, 0, 0, 720, 360, SWP_SHOWWINDOW);
    PumpMessages(m_pApp.get());
    // A burst of 340 events: two rounds on 40 lines.
    DeliverCallRound(kLines, 0x10000, 0);
    DeliverCallRound(kLines, 0x20000, 0x10000);
    EXPECT_EQ(Items(Pane(1), Line(1, "1700")).size(), 1u);  // idle, then a new call
    EXPECT_EQ(Items(Pane(1), Line(1, "1701")).size(), 2u);
    for (int nColumn : {0, 1}) {  // lines opened for their first call keep their places
        std::vector<std::string> lines;
        for (const auto& item : Items(Pane(nColumn), TreeView_GetRoot(Pane(nColumn)))) lines.push_back(item.second);
        EXPECT_EQ(lines.size(), 20u);
        EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end())) << TreeText(Pane(nColumn));
    }
    Pump([] { return false; }, 400);  // what the program put off (a coalesced refresh) is done
    EXPECT_TRUE(ShowsItsFreshPainting(Pane(0)));
    EXPECT_TRUE(ShowsItsFreshPainting(Pane(1)));

    // View > Follow Events, on by default, turned off: events no longer
    // scroll the panes or expand their lines.
    const auto followEvents = [&] {
        return GetMenuState(GetSubMenu(GetMenu(Frame()), 2), ID_VIEW_FOLLOW_EVENTS, MF_BYCOMMAND) & MF_CHECKED;
    };
    EXPECT_TRUE(followEvents());
    PostMessageA(Frame(), WM_COMMAND, ID_VIEW_FOLLOW_EVENTS, 0);
    PumpMessages(m_pApp.get());
    EXPECT_FALSE(followEvents());
    HWND hExt = Pane(1);
    HTREEITEM hTop = Line(1, "1710");
    TreeView_Select(hExt, hTop, TVGN_FIRSTVISIBLE);
    ASSERT_EQ(TreeView_GetFirstVisible(hExt), hTop);
    TreeView_Expand(hExt, Line(1, "1703"), TVE_COLLAPSE);
    DeliverCallRound(kLines, 0x30000, 0x20000);
    Pump([] { return false; }, 400);  // what the program put off (a coalesced refresh) is done
    EXPECT_EQ(TreeView_GetFirstVisible(hExt), hTop);
    EXPECT_EQ(TreeView_GetItemState(hExt, Line(1, "1703"), TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    EXPECT_EQ(Items(hExt, Line(1, "1703")).size(), 3u);  // the calls are there all the same
    EXPECT_TRUE(ShowsItsFreshPainting(hExt));

    // On again: the next event brings its line into view.
    PostMessageA(Frame(), WM_COMMAND, ID_VIEW_FOLLOW_EVENTS, 0);
    PumpMessages(m_pApp.get());
    PostTapiEvent(CFakeTapi::LineHandleFor(0), LINE_APPNEWCALL, 0, 0x50000, LINECALLPRIVILEGE_MONITOR);
    ASSERT_TRUE(Idle());
    EXPECT_NE(TreeView_GetFirstVisible(hExt), hTop);

    // Events faster than they are handled: the queue never runs dry (it is
    // topped up whatever the machine's speed), so the system would make
    // neither WM_PAINT nor WM_TIMER. The loop still runs the timers and
    // paints every tenth of a second: each time the panes and the status bar
    // show their fresh painting, and the count moves on.
    HCALL hPrevious = 0x30000, hNext = 0x60000;
    const auto topUp = [&] {
        if (g_tapiEvents.size() >= 100 || hNext >= 0x1000000) return;
        DeliverCallRound(kLines, hNext, hPrevious, true);
        hPrevious = std::exchange(hNext, hNext + 0x10000);
    };
    int nChores = 0;
    std::set<std::string> counts;
    ULONGLONG qwChores = m_pApp->GetLastChoresTick();
    topUp();
    for (MSG msg; nChores < 3 && m_pApp->NextMessage(&msg, FALSE); DispatchMessageA(&msg)) {
        topUp();
        if (m_pApp->GetLastChoresTick() == std::exchange(qwChores, m_pApp->GetLastChoresTick())) continue;
        ++nChores;
        EXPECT_TRUE(ShowsItsFreshPainting(Pane(0)) && ShowsItsFreshPainting(hExt) &&
                    ShowsItsFreshPainting(m_pApp->GetMainFrame()->GetStatusBar()))
            << "with " << g_tapiEvents.size() << " events waiting";
        counts.insert(StatusText(2));
    }
    EXPECT_EQ(nChores, 3);
    EXPECT_EQ(counts.size(), 3u);
    EXPECT_TRUE(Idle());
}

TEST_F(AppWindowTest, ExitDestroysViewsBeforeTheMonitorAndPlacementSurvivesButNotOffScreen) {
    AddScene();
    ASSERT_TRUE(Start());
    SetWindowPos(Frame(), nullptr, 120, 90, 900, 560, SWP_NOZORDER);
    m_pApp->GetMainFrame()->GetSplitter().SetColumnWidth(0, 200);
    m_pApp->GetMainFrame()->GetSplitter().SetColumnWidth(1, 350);
    PostTapiEvent(CFakeTapi::LineHandleFor(0), LINE_APPNEWCALL, 0, 0x7001);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(Internals(*m_pApp->GetDocument()->m_pMonitor).m_extCalls.size(), 1u);
    // The EXT view, which clears its calls, goes while the monitor is there.
    bool bMonitorAliveAtDestroy = false;
    g_onPaneDestroy = [&] { bMonitorAliveAtDestroy = m_pApp->GetDocument()->m_pMonitor != nullptr; };
    SetWindowSubclass(Pane(1), WatchWindow, 1, 0);
    EXPECT_TRUE(Exit());
    g_onPaneDestroy = nullptr;
    EXPECT_TRUE(bMonitorAliveAtDestroy);

    // The next run: the same place and pane widths. Left on a screen that is
    // no longer there, the size comes back on a screen that is.
    ASSERT_TRUE(Start());
    RECT rc{};
    GetWindowRect(Frame(), &rc);
    EXPECT_EQ((std::vector<LONG>{rc.left, rc.top, rc.right, rc.bottom, SizeOf(Pane(0)).first, SizeOf(Pane(1)).first}),
              (std::vector<LONG>{120, 90, 1020, 650, 200, 350}));
    EXPECT_TRUE(Exit());
    for (const auto& [pszName, nValue] : {std::pair{"Left", 5000}, {"Top", 4000}, {"Right", 5900}, {"Bottom", 4560}})
        settings::WriteInt(pszName, nValue);
    ASSERT_TRUE(Start());
    GetWindowRect(Frame(), &rc);
    EXPECT_EQ(SizeOf(Frame()), std::pair(900L, 560L));
    EXPECT_NE(MonitorFromRect(&rc, MONITOR_DEFAULTTONULL), nullptr);
}

// A start-up that fails asks each time; Yes retries (from the queue, the
// trees already there), and a start that then finds lines fills them.
// Ctrl+N restarts: the window waits, disabled, while the lines open, and the
// trees are rebuilt without the calls of before. No ends the program with
// every monitor shut down.
TEST_F(AppWindowTest, EachFailedStartAsksYesRetriesCtrlNRestartsAndNoEndsTheProgram) {
    m_fake.m_dwNumDevs = 0;
    Texts questions;
    Answer("", [&](HWND hDlg, int nIndex) {
        questions.push_back(ControlText(hDlg, kMessageText));
        if (nIndex == 1) AddScene();
        PostMessageA(hDlg, WM_COMMAND, nIndex < 2 ? IDYES : IDNO, 0);
    });
    ASSERT_TRUE(Start(false));
    ASSERT_EQ(questions, Texts{"Tapi Initizlize Error.\nRetry?"});
    EXPECT_EQ(TreeText(Pane(1)), "EXT\n");
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, Frame(), WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(ID_FILE_NEW));
    ASSERT_TRUE(Pump([&] { return Items(Pane(1), TreeView_GetRoot(Pane(1))).size() == 3; }));
    EXPECT_EQ(m_fake.Count("lineInitializeEx"), 3u);
    EXPECT_TRUE(IsWindowVisible(Frame()));
    EXPECT_EQ(TreeText(Pane(0)), "CO\n  0007\n  0021 Sales\n");

    const HLINE hExt201 = CFakeTapi::LineHandleFor(0);
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7001);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(Items(Pane(1), Line(1, "201")).size(), 1u);
    std::vector<bool> enabledDuringOpen;
    WatchOpens([&](DWORD) { enabledDuringOpen.push_back(IsWindowEnabled(Frame()) != 0); });
    SetFocus(Pane(1));
    Press(Pane(1), 'N', VK_CONTROL);
    EXPECT_EQ(m_fake.Count("lineInitializeEx"), 4u);
    EXPECT_EQ(enabledDuringOpen, std::vector<bool>(6, false));
    EXPECT_TRUE(IsWindowEnabled(Frame()));
    EXPECT_EQ(TreeView_GetCount(Pane(1)), 4u);  // the root and its lines, no call
    // The new monitor's tables know the new tree: a new call lands in it.
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7003);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Items(Pane(1), Line(1, "201")).size(), 1u);

    m_fake.m_dwNumDevs = 0;
    Press(Pane(1), 'N', VK_CONTROL);
    EXPECT_TRUE(Pump([this] { return m_bQuit; }));
    EXPECT_EQ(questions, Texts(3, "Tapi Initizlize Error.\nRetry?"));
    EXPECT_EQ(m_fake.Count("lineShutdown"), 5u);
    EXPECT_EQ(GetMainWindow(), nullptr);
}

// Closing the window or logging off while the start-up of a large PBX is
// still opening lines (the message arriving through the progress dialog's
// pump): the start-up stops there, nothing is asked, every line it opened
// is closed, TAPI is shut down and the program ends.
TEST_F(AppWindowTest, CloseOrLogOffDuringStartUpStopsItAndEndsCleanly) {
    constexpr DWORD kLines = 400;
    for (DWORD i = 0; i < kLines; ++i)
        AddLine(i, kMaker, 0x3001 + i, "EXT " + std::to_string(1000 + i), std::to_string(1000 + i));
    m_fake.m_dwNumDevs = kLines;
    const int& nQuestions = Answer("", [&](HWND hDlg, int) { PostMessageA(hDlg, WM_COMMAND, IDNO, 0); });
    for (const UINT uMsg : {WM_CLOSE, WM_QUERYENDSESSION}) {
        SCOPED_TRACE(uMsg == WM_CLOSE ? "WM_CLOSE" : "logging off");
        std::multiset<DWORD_PTR> opened, closed;
        m_fake.ClearCalls();
        WatchOpens([&](DWORD dwDevice) {
            // Windows posts WM_CLOSE; logging off sends WM_QUERYENDSESSION, then WM_ENDSESSION.
            opened.insert(CFakeTapi::LineHandleFor(dwDevice));
            if (opened.size() != 1) return;
            if (uMsg == WM_CLOSE) {
                PostMessageA(Frame(), WM_CLOSE, 0, 0);
            } else {
                SendMessageA(Frame(), WM_QUERYENDSESSION, 0, 0);
                SendMessageA(Frame(), WM_ENDSESSION, TRUE, 0);
            }
        });
        EXPECT_TRUE(Start(false));
        EXPECT_TRUE(Pump([this] { return m_bQuit; }));
        EXPECT_EQ(nQuestions, 0);
        EXPECT_EQ(m_pApp->GetMainFrame()->GetHwnd(), nullptr);
        EXPECT_EQ(m_pApp->GetDocument()->m_pMonitor, nullptr);
        EXPECT_LT(opened.size(), kLines) << "the start-up did not stop";
        for (const FakeTapiCall& call : m_fake.CallsOf("lineClose")) closed.insert(call.args.at(0));
        EXPECT_EQ(closed, opened);
        const std::string strSequence = m_fake.Sequence();
        EXPECT_EQ(strSequence.substr(strSequence.rfind(',') + 1), "lineShutdown");
    }
}

// The start-up progress dialog on its own (its title, and that it shows, are
// seen at the start above): its message, bar and percentage, Cancel from the
// button, Escape and the close box, Enter ignored, and a WM_QUIT it pumps
// left for the main loop.
TEST_F(AppWindowTest, ProgressDialogShowsPercentCancelsLeavesAPumpedQuitAndDisablesItsOwner) {
    CInitProgressDlg dlg(0);
    ASSERT_TRUE(dlg.Open(nullptr));
    HWND hDlg = dlg.GetHwnd();
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
    g_nSetTexts = 0;
    SetWindowSubclass(GetDlgItem(hDlg, IDC_PROGRESS_PERCENT), WatchWindow, 1, 0);
    EXPECT_EQ(dlg.SetPosition(150), 150);
    EXPECT_EQ(g_nSetTexts, 0);
    dlg.SetPosition(160);
    EXPECT_EQ(g_nSetTexts, 1);
    EXPECT_EQ(ControlText(hDlg, IDC_PROGRESS_PERCENT), "80%");

    // Cancel, Escape and the close box each count once; the start-up decides
    // when to close it. Enter, even on the focused Cancel button, and an IDOK
    // command neither cancel nor close.
    HWND hCancel = GetDlgItem(hDlg, IDCANCEL);
    EXPECT_EQ(GetWindowTextString(hCancel), "Cancel");
    EXPECT_FALSE(dlg.IsCancelPressed());
    const std::tuple<HWND, UINT, WPARAM, bool> ways[] = {
        {hCancel, BM_CLICK, 0, true},          {hCancel, WM_KEYDOWN, VK_ESCAPE, true},
        {hDlg, WM_SYSCOMMAND, SC_CLOSE, true}, {hCancel, WM_KEYDOWN, VK_RETURN, false},
        {hCancel, WM_CHAR, '\r', false},       {hDlg, WM_COMMAND, IDOK, false}};
    for (const auto& [hTo, uMsg, wParam, bCancels] : ways) {
        SetFocus(hCancel);
        PostMessageA(hTo, uMsg, wParam, 0);
        // The dialog's own pump sees the keys (the close box's Cancel comes posted).
        bool bPressed = false;
        for (int nTry = 0; nTry < 50 && !(bPressed = dlg.IsCancelPressed() != 0); ++nTry) Sleep(20);
        EXPECT_EQ(bPressed, bCancels) << uMsg << " " << wParam;
        EXPECT_FALSE(dlg.IsCancelPressed());
        EXPECT_TRUE(IsWindowVisible(hDlg));
    }

    PostQuitMessage(3);
    dlg.SetPosition(5);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    dlg.DestroyWindow();
    EXPECT_FALSE(IsWindow(hDlg));

    // Its owner (the main window at a restart) is disabled while it is open,
    // and enabled again when it is destroyed or deleted; an owner that was
    // disabled already stays so.
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
    DestroyWindow(hMain);
}

// A version resource block as the resource compiler lays it out: header,
// the key "VS_VERSION_INFO" and padding to four bytes, then at byte 40 the
// fixed information (the file version is never shown: the product version
// is); cut short to cbKeep bytes when given.
std::string FormatVersion(DWORD dwProductMS, DWORD dwProductLS, WORD wValueLength = sizeof(VS_FIXEDFILEINFO),
                          size_t cbKeep = 92) {
    BYTE block[92] = {92, 0, LOBYTE(wValueLength), HIBYTE(wValueLength)};
    const VS_FIXEDFILEINFO info{0xFEEF04BD, 0x00010000, 0x00090009, 0, dwProductMS, dwProductLS, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(block + 6, L"VS_VERSION_INFO", sizeof L"VS_VERSION_INFO");
    std::memcpy(block + 40, &info, sizeof info);
    return CLinoscopeApp::FormatProductVersion(block, cbKeep);
}

TEST(ProductVersionTest, FormatsAllFourPartsInFull) {
    EXPECT_EQ(FormatVersion(0x00010001, 0x00000002), "1.1.0.2");
    EXPECT_EQ(FormatVersion(0x0001012C, 0x000201FF), "1.300.2.511");  // parts above 255 keep their high byte
    EXPECT_EQ(FormatVersion(0xFFFFFFFF, 0xFFFFFFFF), "65535.65535.65535.65535");
    EXPECT_EQ(FormatVersion(0x00010001, 0, 0), "");  // no fixed information: no version
    // A block cut short inside the fixed information is not read past its end.
    EXPECT_EQ(FormatVersion(0x00010001, 0x00000002, sizeof(VS_FIXEDFILEINFO), 40 + 20), "");
    EXPECT_EQ(CLinoscopeApp::FormatProductVersion(nullptr, 100), "");
}

}  // namespace
