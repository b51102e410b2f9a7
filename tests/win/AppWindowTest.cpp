// The program's windows in-process under the fake TAPI: the frame and its
// panes, the trees, right-click menus and the commands they lead to, TAPI
// events arriving through the message loop, restart, failed start-up, and the
// About and DIAL dialogs.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <regex>

#include "WinTestSupport.h"
#include "app/LinoscopeApp.h"
#include "app/Window.h"
#include "fake_tapi/FakeTapi.h"
#include "monitor/LinoscopeDoc.h"
#include "monitor/StartupScene.h"
#include "views/resource.h"

using namespace wintest;

namespace {

constexpr const char* kMaker = "Talvora ZR-40N";

// What TAPI's hidden window does: a message arrives in the thread's queue,
// and its window procedure calls the program's callback.
struct STapiEvent {
    DWORD hDevice;
    DWORD dwMessage;
    DWORD_PTR dwParam1, dwParam2, dwParam3;
};
std::deque<STapiEvent> g_tapiEvents;

LRESULT CALLBACK TapiWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_APP && !g_tapiEvents.empty()) {
        STapiEvent event = g_tapiEvents.front();
        g_tapiEvents.pop_front();
        if (CFakeTapi* pFake = CFakeTapi::Current()) {
            pFake->Deliver(event.hDevice, event.dwMessage, event.dwParam1, event.dwParam2, event.dwParam3);
        }
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

HWND TapiWindow() {
    static HWND hWnd = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = TapiWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "WinTestTapiWindow";
        RegisterClassA(&wc);
        return CreateWindowA("WinTestTapiWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }();
    return hWnd;
}

void PostTapiEvent(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwParam1, DWORD_PTR dwParam2 = 0,
                   DWORD_PTR dwParam3 = 0) {
    g_tapiEvents.push_back({hDevice, dwMessage, dwParam1, dwParam2, dwParam3});
    PostMessageA(TapiWindow(), WM_APP, 0, 0);
}

// Catches the context menu when it opens: records its entries, then picks
// the first entry (Down, Enter) or dismisses it (Escape).
struct SMenuCatcher {
    std::vector<std::string> texts;
    std::vector<UINT> ids;
    int nOpened = 0;
    bool bChoose = true;
};
SMenuCatcher* g_pMenuCatcher = nullptr;

LRESULT CALLBACK MenuHook(int nCode, WPARAM wParam, LPARAM lParam) {
    auto* pMsg = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (nCode == HC_ACTION && g_pMenuCatcher != nullptr && pMsg->message == WM_INITMENUPOPUP) {
        HMENU hMenu = reinterpret_cast<HMENU>(pMsg->wParam);
        ++g_pMenuCatcher->nOpened;
        for (int i = 0; i < GetMenuItemCount(hMenu); ++i) {
            char szText[128] = "";
            GetMenuStringA(hMenu, static_cast<UINT>(i), szText, sizeof szText, MF_BYPOSITION);
            g_pMenuCatcher->texts.push_back(szText);
            g_pMenuCatcher->ids.push_back(GetMenuItemID(hMenu, i));
        }
        if (g_pMenuCatcher->bChoose) {
            PostKey(pMsg->hwnd, VK_DOWN);
            PostMessageA(pMsg->hwnd, WM_CHAR, '\r', 1);
        } else {
            PostKey(pMsg->hwnd, VK_ESCAPE);
        }
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

class AppWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        DrainQueue();
        g_tapiEvents.clear();
    }
    void TearDown() override {
        m_pApp.reset();
        DrainQueue();
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
    BOOL Start() {
        m_pApp = std::make_unique<CLinoscopeApp>(GetModuleHandleA(nullptr));
        BOOL bStarted = m_pApp->InitInstance();
        PumpMessages(m_pApp.get());
        return bStarted;
    }
    HWND Frame() const { return m_pApp->GetMainFrame()->GetHwnd(); }
    HWND Pane(int nColumn) const { return m_pApp->GetMainFrame()->GetSplitter().GetPane(nColumn); }
    HTREEITEM Root(int nColumn) const { return TreeView_GetRoot(Pane(nColumn)); }
    HTREEITEM Line(int nColumn, const std::string& strLabel) const {
        return FindChild(Pane(nColumn), Root(nColumn), strLabel);
    }
    bool Pump(const std::function<bool()>& condition) { return PumpUntil(condition, m_pApp.get()); }
    // Runs the loop until the program asks to end; false when it never does.
    bool PumpUntilQuit() {
        const DWORD dwStart = GetTickCount();
        while (GetTickCount() - dwStart < 5000) {
            if (PumpMessages(m_pApp.get())) return true;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return false;
    }

    // Runs the action with the menu catcher installed; returns what the
    // menu offered (nothing when no menu opened).
    static SMenuCatcher CatchMenu(bool bChoose, const std::function<void()>& action) {
        SMenuCatcher catcher;
        catcher.bChoose = bChoose;
        g_pMenuCatcher = &catcher;
        HHOOK hHook = SetWindowsHookExA(WH_CALLWNDPROC, MenuHook, nullptr, GetCurrentThreadId());
        action();
        UnhookWindowsHookEx(hHook);
        g_pMenuCatcher = nullptr;
        return catcher;
    }
    // Right-clicks the item as the mouse would.
    static SMenuCatcher RightClick(HWND hTree, HTREEITEM hItem, bool bChoose) {
        RECT rc{};
        TreeView_GetItemRect(hTree, hItem, &rc, TRUE);
        const LPARAM lPoint = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        return CatchMenu(bChoose, [&] {
            // The control follows the button until it is released.
            PostMessageA(hTree, WM_RBUTTONUP, 0, lPoint);
            SendMessageA(hTree, WM_RBUTTONDOWN, MK_RBUTTON, lPoint);
        });
    }

    CFakeTapi m_fake;
    std::unique_ptr<CLinoscopeApp> m_pApp;
};

TEST_F(AppWindowTest, StartShowsTitleMenuAndThreeSortedPanesCoExtEtc) {
    AddScene();
    // At the first start the progress dialog is up while the lines open, with
    // no main window yet to disable.
    int nOpensSeen = 0;
    bool bProgressShown = true;
    bool bMainWindowSeen = false;
    m_fake.OnOpen = [&](HLINEAPP, DWORD dwDevice, HLINE* phLine, DWORD, DWORD) -> LONG {
        ++nOpensSeen;
        HWND hProgress = FindWindowA("#32770", "Linoscope3");
        bProgressShown = bProgressShown && hProgress != nullptr && GetDlgItem(hProgress, IDC_PROGRESS_BAR) != nullptr &&
                         IsWindowVisible(hProgress);
        bMainWindowSeen = bMainWindowSeen || GetMainWindow() != nullptr;
        *phLine = CFakeTapi::LineHandleFor(dwDevice);
        return 0;
    };
    ASSERT_TRUE(Start());
    EXPECT_EQ(nOpensSeen, 6);
    EXPECT_TRUE(bProgressShown);
    EXPECT_FALSE(bMainWindowSeen);
    EXPECT_EQ(FindWindowA("#32770", "Linoscope3"), nullptr);  // gone again

    EXPECT_EQ(GetWindowTextString(Frame()), "Linoscope3");
    EXPECT_TRUE(IsWindowVisible(Frame()));
    EXPECT_EQ(GetMainWindow(), Frame());

    // Menu 128: "&File" / "E&xit", "&Help" / "&About Linoscope3...".
    const auto entries = [](HMENU hMenu) {
        std::vector<std::pair<std::string, UINT>> items;
        for (int i = 0; i < GetMenuItemCount(hMenu); ++i) {
            char szText[64] = "";
            GetMenuStringA(hMenu, static_cast<UINT>(i), szText, sizeof szText, MF_BYPOSITION);
            items.emplace_back(szText, GetMenuItemID(hMenu, i));
        }
        return items;
    };
    using Entries = std::vector<std::pair<std::string, UINT>>;
    HMENU hMenu = GetMenu(Frame());
    EXPECT_EQ(entries(hMenu), (Entries{{"&File", UINT(-1)}, {"&Help", UINT(-1)}}));
    EXPECT_EQ(entries(GetSubMenu(hMenu, 0)), (Entries{{"E&xit", ID_APP_EXIT}}));
    EXPECT_EQ(entries(GetSubMenu(hMenu, 1)), (Entries{{"&About Linoscope3...", ID_APP_ABOUT}}));

    // Three tree controls left to right, CO, EXT, ETC, the first two a third
    // of the client width each.
    RECT rcClient{};
    GetClientRect(Frame(), &rcClient);
    const char* roots[] = {"CO", "EXT", "ETC"};
    LONG nPreviousLeft = -1;
    for (int nColumn = 0; nColumn < 3; ++nColumn) {
        HWND hTree = Pane(nColumn);
        ASSERT_NE(hTree, nullptr);
        char szClass[64] = "";
        GetClassNameA(hTree, szClass, sizeof szClass);
        EXPECT_STREQ(szClass, "SysTreeView32");
        const LONG_PTR style = GetWindowLongPtrA(hTree, GWL_STYLE);
        EXPECT_EQ(style & 0x27, 0x27) << nColumn;
        EXPECT_NE(style & WS_BORDER, 0) << nColumn;
        RECT rc{};
        GetWindowRect(hTree, &rc);
        EXPECT_GT(rc.left, nPreviousLeft);
        nPreviousLeft = rc.left;
        if (nColumn < 2) {
            EXPECT_EQ(rc.right - rc.left, rcClient.right / 3) << nColumn;
        }
        EXPECT_EQ(ChildTexts(hTree, TVI_ROOT), std::vector<std::string>{roots[nColumn]});
        EXPECT_NE(TreeView_GetItemState(hTree, Root(nColumn), TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    }
    // Lines sorted by label as text, without regard to case.
    EXPECT_EQ(ChildTexts(Pane(0), Root(0)), (std::vector<std::string>{"0007", "0021 Sales"}));
    EXPECT_EQ(ChildTexts(Pane(1), Root(1)), (std::vector<std::string>{"1000", "201", "99"}));
    EXPECT_EQ(ChildTexts(Pane(2), Root(2)), (std::vector<std::string>{"Modem"}));
}

TEST_F(AppWindowTest, RightClickSelectsAndLineInformationOfExtReportsThatLine) {
    AddScene();
    ASSERT_TRUE(Start());
    HWND hTree = Pane(1);
    HTREEITEM h201 = Line(1, "201");
    ASSERT_NE(h201, nullptr);
    TreeView_SelectItem(hTree, Root(1));

    std::string strInfo;
    CDialogAnswerer info(CDialogAnswerer::TitleIs("Information"), [&](HWND hDlg, int) {
        strInfo = ControlText(hDlg, IDC_INFO_TEXT);
        PostClick(hDlg, IDOK);
    });
    m_fake.ClearCalls();
    SMenuCatcher menu = RightClick(hTree, h201, true);
    EXPECT_EQ(TreeView_GetSelection(hTree), h201);
    EXPECT_EQ(menu.texts, std::vector<std::string>{"Line Information"});
    EXPECT_EQ(menu.ids, std::vector<UINT>{ID_LINE_INFORMATION});
    ASSERT_TRUE(Pump([&] { return info.GetCount() == 1; }));

    // The report is the one of device 0, the line labelled 201.
    auto devCaps = m_fake.CallsOf("lineGetDevCaps");
    ASSERT_FALSE(devCaps.empty());
    for (const auto& call : devCaps) EXPECT_EQ(call.args.at(1), 0u);
    EXPECT_NE(strInfo.find("<< LINEDEVCAPS >>"), std::string::npos) << strInfo;
    EXPECT_NE(strInfo.find("\"EXT 201\""), std::string::npos) << strInfo;
    EXPECT_EQ(strInfo.find("EXT 99"), std::string::npos);
    EXPECT_NE(strInfo.find("\r\n"), std::string::npos);  // shown as the report has it

    // A root or a line in another view: no menu on the root; the CO view's
    // line menu is its own.
    EXPECT_EQ(RightClick(hTree, Root(1), false).nOpened, 0);
    EXPECT_EQ(TreeView_GetSelection(hTree), Root(1));
    SMenuCatcher coMenu = RightClick(Pane(0), Line(0, "0021 Sales"), false);
    EXPECT_EQ(coMenu.texts, std::vector<std::string>{"Line Information"});
    EXPECT_EQ(info.GetCount(), 1);  // dismissed: nothing ran

    // From the keyboard (Shift+F10) the menu of the selected line opens too.
    TreeView_SelectItem(hTree, h201);
    SetFocus(hTree);
    SMenuCatcher keyboard = CatchMenu(false, [&] {
        SendMessageA(hTree, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hTree), MAKELPARAM(-1, -1));
    });
    EXPECT_EQ(keyboard.texts, std::vector<std::string>{"Line Information"});
}

TEST_F(AppWindowTest, CallNodesArriveThroughTheMessageLoopAndOfferCallInformation) {
    AddScene();
    const HLINE hExt201 = CFakeTapi::LineHandleFor(0);
    const HLINE hCo21 = CFakeTapi::LineHandleFor(3);
    m_fake.m_callInfo[0x7001] = CFakeTapi::MakeCallInfo(hExt201, "301", "201");
    m_fake.m_callStatus[0x7001] = CFakeTapi::MakeCallStatus(LINECALLSTATE_CONNECTED);
    m_fake.m_callInfo[0x7002] = CFakeTapi::MakeCallInfo(hCo21, "0123456789", "21");
    m_fake.m_callStatus[0x7002] = CFakeTapi::MakeCallStatus(LINECALLSTATE_OFFERING);
    ASSERT_TRUE(Start());

    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7001, LINECALLPRIVILEGE_MONITOR);
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0);
    PostTapiEvent(hCo21, LINE_APPNEWCALL, 0, 0x7002, LINECALLPRIVILEGE_MONITOR);
    PostTapiEvent(0x7002, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_MONITOR);
    // Nothing happens until the loop runs.
    EXPECT_FALSE(TreeView_GetChild(Pane(1), Line(1, "201")));

    HWND hExt = Pane(1);
    ASSERT_TRUE(Pump([&] { return g_tapiEvents.empty(); }));
    std::vector<HTREEITEM> calls = ChildItems(hExt, Line(1, "201"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(ItemText(hExt, calls[0]).rfind("CONNECTED", 0), 0u) << ItemText(hExt, calls[0]);
    TVITEMA item{};
    item.mask = TVIF_PARAM;
    item.hItem = calls[0];
    TreeView_GetItem(hExt, &item);
    EXPECT_EQ(item.lParam, 0x7001);
    EXPECT_EQ(ChildItems(hExt, calls[0]).size(), 10u);  // the detail lines
    std::vector<HTREEITEM> coCalls = ChildItems(Pane(0), Line(0, "0021 Sales"));
    ASSERT_EQ(coCalls.size(), 1u);
    EXPECT_EQ(ItemText(Pane(0), coCalls[0]).rfind("OFFERING", 0), 0u);
    EXPECT_TRUE(ChildItems(Pane(1), Line(1, "99")).empty());

    // A picture of the window with its calls, for a person to look at.
    EXPECT_TRUE(SaveWindowPng(Frame(), "test_win_main_window.png"));

    // The call's menu offers Call Information, and its report follows.
    std::string strInfo;
    CDialogAnswerer info(CDialogAnswerer::TitleIs("Information"), [&](HWND hDlg, int) {
        strInfo = ControlText(hDlg, IDC_INFO_TEXT);
        PostClick(hDlg, IDOK);
    });
    SMenuCatcher menu = RightClick(hExt, calls[0], true);
    EXPECT_EQ(menu.texts, std::vector<std::string>{"Call Information"});
    EXPECT_EQ(menu.ids, std::vector<UINT>{ID_CALL_INFORMATION});
    ASSERT_TRUE(Pump([&] { return info.GetCount() == 1; }));
    EXPECT_NE(strInfo.find("<< LINECALLINFO >>"), std::string::npos) << strInfo;
    EXPECT_NE(strInfo.find("<< LINECALLSTATUS >>"), std::string::npos);
    EXPECT_NE(strInfo.find("\"301\""), std::string::npos);

    // A detail item has no menu.
    HTREEITEM hDetail = TreeView_GetChild(hExt, calls[0]);
    EXPECT_EQ(RightClick(hExt, hDetail, false).nOpened, 0);
    EXPECT_EQ(TreeView_GetSelection(hExt), hDetail);

    // Drop, which no menu offers, is routed by the EXT view to the monitor.
    TreeView_SelectItem(hExt, calls[0]);
    m_fake.ClearCalls();
    PostMessageA(Frame(), WM_COMMAND, ID_DROP, 0);
    Pump([&] { return m_fake.Count("lineDrop") == 1; });
    ASSERT_EQ(m_fake.Count("lineDrop"), 1u);
    EXPECT_EQ(m_fake.CallsOf("lineDrop")[0].args.at(0), 0x7001u);

    // The call goes idle: its node disappears, again through the loop.
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0);
    ASSERT_TRUE(Pump([&] { return g_tapiEvents.empty(); }));
    EXPECT_TRUE(ChildItems(hExt, Line(1, "201")).empty());
}

TEST_F(AppWindowTest, CtrlNRebuildsTheTreesWithCallsGoneWhileTheWindowWaits) {
    AddScene();
    const HLINE hExt201 = CFakeTapi::LineHandleFor(0);
    m_fake.m_callInfo[0x7001] = CFakeTapi::MakeCallInfo(hExt201, "301", "201");
    ASSERT_TRUE(Start());
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7001, 0);
    ASSERT_TRUE(Pump([&] { return g_tapiEvents.empty(); }));
    ASSERT_EQ(ChildItems(Pane(1), Line(1, "201")).size(), 1u);

    // During the restart the progress dialog keeps the main window disabled.
    std::vector<bool> enabledDuringOpen;
    m_fake.OnOpen = [&](HLINEAPP, DWORD dwDevice, HLINE* phLine, DWORD, DWORD) -> LONG {
        enabledDuringOpen.push_back(IsWindowEnabled(Frame()) != 0);
        *phLine = CFakeTapi::LineHandleFor(dwDevice);
        return 0;
    };
    m_fake.ClearCalls();
    SetFocus(Pane(1));
    {
        CHeldKeys control({VK_CONTROL});
        PostKey(Pane(1), 'N');
        PumpMessages(m_pApp.get());
    }
    ASSERT_EQ(m_fake.Count("lineInitializeEx"), 1u);
    // The old monitor was shut down before the new one started.
    const std::string strSequence = m_fake.Sequence();
    EXPECT_LT(strSequence.find("lineClose"), strSequence.find("lineShutdown"));
    EXPECT_LT(strSequence.find("lineShutdown"), strSequence.find("lineInitializeEx"));
    EXPECT_EQ(m_fake.Count("lineClose"), 6u);
    EXPECT_EQ(enabledDuringOpen, std::vector<bool>(6, false));
    EXPECT_TRUE(IsWindowEnabled(Frame()));

    const char* roots[] = {"CO", "EXT", "ETC"};
    for (int nColumn = 0; nColumn < 3; ++nColumn) {
        EXPECT_EQ(ChildTexts(Pane(nColumn), TVI_ROOT), std::vector<std::string>{roots[nColumn]});
    }
    EXPECT_EQ(ChildTexts(Pane(1), Root(1)), (std::vector<std::string>{"1000", "201", "99"}));
    EXPECT_TRUE(ChildItems(Pane(1), Line(1, "201")).empty());
    EXPECT_EQ(TreeView_GetCount(Pane(1)), 4u);

    // The new monitor's tables know the new tree: a new call lands in it.
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7003, 0);
    ASSERT_TRUE(Pump([&] { return g_tapiEvents.empty(); }));
    EXPECT_EQ(ChildItems(Pane(1), Line(1, "201")).size(), 1u);
}

TEST_F(AppWindowTest, F6AndShiftF6MoveTheFocusBetweenThePanes) {
    AddScene();
    ASSERT_TRUE(Start());
    SetFocus(Pane(0));
    PumpMessages(m_pApp.get());
    for (int nTo : {1, 2, 0}) {  // F6: to the next pane, round the end
        PostKey(GetFocus(), VK_F6);
        PumpMessages(m_pApp.get());
        EXPECT_EQ(GetFocus(), Pane(nTo));
    }
    {
        CHeldKeys shift({VK_SHIFT});
        PostKey(Pane(0), VK_F6);
        PumpMessages(m_pApp.get());
    }
    EXPECT_EQ(GetFocus(), Pane(2));
}

TEST_F(AppWindowTest, FailedStartAsksOnceAndRetriesOnYes) {
    m_fake.m_dwNumDevs = 0;  // start-up fails
    std::vector<std::string> questions;
    CDialogAnswerer answerer(CDialogAnswerer::IsMessageBox(), [&](HWND hDlg, int) {
        questions.push_back(ControlText(hDlg, 0xFFFF));
        PostMessageA(hDlg, WM_COMMAND, IDYES, 0);
    });
    m_pApp = std::make_unique<CLinoscopeApp>(GetModuleHandleA(nullptr));
    ASSERT_TRUE(m_pApp->InitInstance());
    ASSERT_EQ(questions, std::vector<std::string>{"Tapi Initizlize Error.\nRetry?"});
    // The trees were filled all the same, and the retry waits in the queue.
    EXPECT_EQ(ChildTexts(Pane(1), TVI_ROOT), std::vector<std::string>{"EXT"});
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, Frame(), WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(ID_FILE_NEW));

    AddScene();
    ASSERT_TRUE(Pump([&] { return ChildItems(Pane(1), Root(1)).size() == 3; }));
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(m_fake.Count("lineInitializeEx"), 2u);
    EXPECT_TRUE(IsWindowVisible(Frame()));
    EXPECT_EQ(ChildTexts(Pane(0), Root(0)), (std::vector<std::string>{"0007", "0021 Sales"}));
}

TEST_F(AppWindowTest, EachFailedStartAsksAndNoEndsTheProgram) {
    m_fake.m_dwNumDevs = 0;
    std::vector<std::string> questions;
    CDialogAnswerer answerer(CDialogAnswerer::IsMessageBox(), [&](HWND hDlg, int nIndex) {
        questions.push_back(ControlText(hDlg, 0xFFFF));
        PostMessageA(hDlg, WM_COMMAND, nIndex == 0 ? IDYES : IDNO, 0);
    });
    m_pApp = std::make_unique<CLinoscopeApp>(GetModuleHandleA(nullptr));
    ASSERT_TRUE(m_pApp->InitInstance());
    const bool bQuit = PumpUntilQuit();
    EXPECT_TRUE(bQuit);
    EXPECT_EQ(questions.size(), 2u);  // one per failed start-up
    EXPECT_EQ(m_fake.Count("lineInitializeEx"), 2u);
    EXPECT_EQ(m_fake.Count("lineShutdown"), 2u);  // both monitors shut down
    EXPECT_EQ(m_pApp->GetMainFrame()->GetHwnd(), nullptr);
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_EQ(m_pApp->GetDocument()->m_pMonitor, nullptr);
}

// Calls g_onPaneDestroy when the subclassed pane is destroyed. A named
// CALLBACK function: a lambda has the default calling convention, which on
// 32-bit Windows is not a subclass procedure's.
std::function<void()> g_onPaneDestroy;
LRESULT CALLBACK NotifyPaneDestroy(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (uMsg == WM_DESTROY && g_onPaneDestroy) g_onPaneDestroy();
    return DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

TEST_F(AppWindowTest, ExitDestroysTheViewsBeforeTheMonitor) {
    AddScene();
    const HLINE hExt201 = CFakeTapi::LineHandleFor(0);
    ASSERT_TRUE(Start());
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7001, 0);
    ASSERT_TRUE(Pump([&] { return g_tapiEvents.empty(); }));
    CTapiMonitor* pMonitor = m_pApp->GetDocument()->m_pMonitor.get();
    ASSERT_NE(pMonitor, nullptr);
    ASSERT_EQ(pMonitor->m_extCalls.size(), 1u);

    // Watch the EXT view's destruction: the monitor must still be there.
    bool bMonitorAliveAtDestroy = false;
    g_onPaneDestroy = [&] { bMonitorAliveAtDestroy = m_pApp->GetDocument()->m_pMonitor != nullptr; };
    SetWindowSubclass(Pane(1), NotifyPaneDestroy, 1, 0);
    m_fake.ClearCalls();
    PostMessageA(Frame(), WM_COMMAND, ID_APP_EXIT, 0);
    const bool bQuit = PumpUntilQuit();
    EXPECT_TRUE(bQuit);
    EXPECT_TRUE(bMonitorAliveAtDestroy);
    EXPECT_EQ(m_pApp->GetDocument()->m_pMonitor, nullptr);
    EXPECT_EQ(m_fake.Count("lineClose"), 6u);
    EXPECT_EQ(m_fake.Count("lineShutdown"), 1u);
    EXPECT_EQ(m_pApp->GetMainFrame()->GetHwnd(), nullptr);
}

TEST_F(AppWindowTest, AboutShowsTheProductVersion) {
    AddScene();
    ASSERT_TRUE(Start());
    EXPECT_TRUE(std::regex_match(m_pApp->m_strVersion, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << m_pApp->m_strVersion;

    std::string strVersionLine;
    bool bIconFirst = false;
    CDialogAnswerer about(CDialogAnswerer::TitleIs("About Linoscope3"), [&](HWND hDlg, int) {
        HWND hIcon = GetWindow(hDlg, GW_CHILD);
        bIconFirst = (GetWindowLongPtrA(hIcon, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                     SendMessageA(hIcon, STM_GETICON, 0, 0) != 0;
        strVersionLine = GetWindowTextString(GetWindow(hIcon, GW_HWNDNEXT));
        PostClick(hDlg, IDOK);
    });
    PostMessageA(Frame(), WM_COMMAND, ID_APP_ABOUT, 0);
    ASSERT_TRUE(Pump([&] { return about.GetCount() == 1; }));
    EXPECT_TRUE(bIconFirst);
    EXPECT_EQ(strVersionLine, "Talvora Linoscope3 Version " + m_pApp->m_strVersion);
}

// A version resource block as the resource compiler lays it out: header,
// the key "VS_VERSION_INFO", padding to four bytes, the fixed information.
std::vector<BYTE> VersionBlock(DWORD dwProductMS, DWORD dwProductLS, WORD wValueLength = sizeof(VS_FIXEDFILEINFO)) {
    std::vector<BYTE> block(40, 0);
    const char* pszKey = "VS_VERSION_INFO";
    for (size_t i = 0; pszKey[i] != '\0'; ++i) block[6 + i * 2] = static_cast<BYTE>(pszKey[i]);
    std::memcpy(block.data() + 2, &wValueLength, 2);
    VS_FIXEDFILEINFO info{};
    info.dwSignature = 0xFEEF04BD;
    info.dwStrucVersion = 0x00010000;
    info.dwFileVersionMS = 0x00090009;  // never shown: the product version is
    info.dwProductVersionMS = dwProductMS;
    info.dwProductVersionLS = dwProductLS;
    const auto* p = reinterpret_cast<const BYTE*>(&info);
    block.insert(block.end(), p, p + sizeof info);
    const WORD wLength = static_cast<WORD>(block.size());
    std::memcpy(block.data(), &wLength, 2);
    return block;
}

TEST(ProductVersionTest, FormatsAllFourPartsInFull) {
    auto Format = [](const std::vector<BYTE>& block) {
        return CLinoscopeApp::FormatProductVersion(block.data(), block.size());
    };
    EXPECT_EQ(Format(VersionBlock(0x00010001, 0x00000002)), "1.1.0.2");
    // Parts above 255 keep their high byte.
    EXPECT_EQ(Format(VersionBlock(0x0001012C, 0x000201FF)), "1.300.2.511");
    EXPECT_EQ(Format(VersionBlock(0xFFFFFFFF, 0xFFFFFFFF)), "65535.65535.65535.65535");
    // No fixed information: no version.
    EXPECT_EQ(Format(VersionBlock(0x00010001, 0, 0)), "");
    // A block cut short inside the fixed information is not read past its end.
    std::vector<BYTE> cut = VersionBlock(0x00010001, 0x00000002);
    cut.resize(40 + 20);
    EXPECT_EQ(Format(cut), "");
    EXPECT_EQ(CLinoscopeApp::FormatProductVersion(nullptr, 100), "");
}

TEST_F(AppWindowTest, DialEditStopsAtFortyCharactersAndMakesTheCall) {
    AddScene();
    ASSERT_TRUE(Start());
    HWND hExt = Pane(1);
    TreeView_SelectItem(hExt, Line(1, "201"));
    SetFocus(hExt);

    std::string strTyped;
    LRESULT nLimit = 0;
    std::string strLabel;
    CDialogAnswerer dial(CDialogAnswerer::TitleIs("DIAL"), [&](HWND hDlg, int nIndex) {
        HWND hEdit = GetDlgItem(hDlg, IDC_DIAL_NUMBER);
        strLabel = GetWindowTextString(GetWindow(hDlg, GW_CHILD));
        nLimit = SendMessageA(hEdit, EM_GETLIMITTEXT, 0, 0);
        for (int i = 0; i < 45; ++i) SendMessageA(hEdit, WM_CHAR, '0' + i % 10, 1);
        strTyped = GetWindowTextString(hEdit);
        PostClick(hDlg, nIndex == 0 ? IDOK : IDCANCEL);
    });
    m_fake.ClearCalls();
    PostMessageA(Frame(), WM_COMMAND, ID_MAKECALL, 0);
    ASSERT_TRUE(Pump([&] { return dial.GetCount() == 1 && m_fake.Count("lineMakeCall") == 1; }));
    EXPECT_EQ(strLabel, "Dial No.");
    EXPECT_EQ(nLimit, 40);
    EXPECT_EQ(strTyped, "0123456789012345678901234567890123456789");
    FakeTapiCall call = m_fake.CallsOf("lineMakeCall").at(0);
    EXPECT_EQ(call.args.at(0), CFakeTapi::LineHandleFor(0));
    EXPECT_EQ(call.strText, strTyped);

    // Cancel: no call.
    PostMessageA(Frame(), WM_COMMAND, ID_MAKECALL, 0);
    ASSERT_TRUE(Pump([&] { return dial.GetCount() == 2; }));
    PumpMessages(m_pApp.get());
    EXPECT_EQ(m_fake.Count("lineMakeCall"), 1u);
}

}  // namespace
