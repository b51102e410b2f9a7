// The program's windows in-process under the fake TAPI: the frame and its
// panes, the trees, right-click menus and the commands they lead to, TAPI
// events arriving through the message loop, restart, failed start-up, the
// event log's retry timer, and the About and Information dialogs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "app/LinoscopeApp.h"
#include "app/MainFrame.h"
#include "monitor/LinoscopeDoc.h"
#include "platform/Platform.h"
#include "presentation/EventLogWriter.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"
#include "support/StartupScene.h"
#include "support/TestFiles.h"
#include "support/WinTestSupport.h"
#include "tapi/TapiEntry.h"
#include "views/win/Settings.h"
#include "views/win/resource.h"
#include "win32/Window.h"

using namespace wintest;

namespace {

constexpr const char* kMaker = "Talvora ZR-40N";
using Texts = std::vector<std::string>;

// What TAPI's hidden window does: a message arrives in the thread's queue,
// and its window procedure calls the program's callback.
struct STapiEvent {
    DWORD hDevice, dwMessage;
    DWORD_PTR dwParam1, dwParam2, dwParam3;
};
std::deque<STapiEvent> g_tapiEvents;

LRESULT CALLBACK TapiWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_APP || g_tapiEvents.empty()) return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    const STapiEvent e = g_tapiEvents.front();
    g_tapiEvents.pop_front();
    if (CFakeTapi* pFake = CFakeTapi::Current())
        pFake->Deliver(e.hDevice, e.dwMessage, e.dwParam1, e.dwParam2, e.dwParam3);
    return 0;
}

void PostTapiEvent(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwParam1, DWORD_PTR dwParam2 = 0, DWORD_PTR dwParam3 = 0) {
    static HWND hWnd = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = TapiWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "WinTestTapiWindow";
        RegisterClassA(&wc);
        return CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }();
    g_tapiEvents.push_back({hDevice, dwMessage, dwParam1, dwParam2, dwParam3});
    PostMessageA(hWnd, WM_APP, 0, 0);
}

// Catches the context menu when it opens: records its entries, then picks
// the first entry (Down, Enter) or dismisses it (Escape).
struct SMenuCatcher {
    Texts texts;
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

// Runs the action with the menu catcher installed; returns what the menu
// offered (nothing when no menu opened).
SMenuCatcher CatchMenu(bool bChoose, const std::function<void()>& action) {
    SMenuCatcher catcher;
    catcher.bChoose = bChoose;
    g_pMenuCatcher = &catcher;
    HHOOK hHook = SetWindowsHookExA(WH_CALLWNDPROC, MenuHook, nullptr, GetCurrentThreadId());
    action();
    UnhookWindowsHookEx(hHook);
    g_pMenuCatcher = nullptr;
    return catcher;
}

// Right-clicks the item as the mouse would; the control follows the button
// until it is released.
SMenuCatcher RightClick(HWND hTree, HTREEITEM hItem, bool bChoose) {
    RECT rc{};
    TreeView_GetItemRect(hTree, hItem, &rc, TRUE);
    const LPARAM lPoint = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    return CatchMenu(bChoose, [&] {
        PostMessageA(hTree, WM_RBUTTONUP, 0, lPoint);
        SendMessageA(hTree, WM_RBUTTONDOWN, MK_RBUTTON, lPoint);
    });
}

bool CentredOver(HWND hWnd, HWND hOver) {
    RECT a{}, b{};
    GetWindowRect(hWnd, &a);
    GetWindowRect(hOver, &b);
    return std::abs(a.left + a.right - b.left - b.right) <= 4 && std::abs(a.top + a.bottom - b.top - b.bottom) <= 4;
}

class AppWindowTest : public ::testing::Test {
protected:
    // Each test starts with the window where the system puts it, and leaves
    // no placement behind for later programs in this Wine prefix.
    void SetUp() override {
        DrainQueue();
        g_tapiEvents.clear();
        RegDeleteTreeA(HKEY_CURRENT_USER, settings::kApplicationKey);
    }
    void TearDown() override {
        m_pApp.reset();
        DrainQueue();
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
    BOOL Start() {
        m_pApp = std::make_unique<CLinoscopeApp>(GetModuleHandleA(nullptr));
        BOOL bStarted = m_pApp->InitInstance();
        PumpMessages(m_pApp.get());
        return bStarted;
    }
    // File > Exit; false when the program never asks to end.
    bool Exit() {
        PostMessageA(Frame(), WM_COMMAND, ID_APP_EXIT, 0);
        return PumpUntilQuit();
    }
    bool PumpUntilQuit() {
        for (const DWORD dwStart = GetTickCount(); GetTickCount() - dwStart < 5000;) {
            if (PumpMessages(m_pApp.get())) return true;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return false;
    }
    // A round of calls on every line of a busy office (nLines extensions
    // 1700... and as many trunks 0050...), delivered as a stream arrives: one
    // event at a time, the loop (and painting) running after each. Each call
    // rings with a long caller ID, gets a short one, is answered; the call of
    // the round before goes idle on every other line. Returns the events.
    // Each event handled as it comes, or (bQueue) all of them left waiting.
    int DeliverCallRound(int nLines, HCALL hFirstCall, HCALL hPreviousFirst, bool bQueue = false) {
        int nEvents = 0;
        const auto deliver = [&](DWORD hDevice, DWORD dwMessage, DWORD_PTR dwParam1, DWORD_PTR dwParam2 = 0,
                                 DWORD_PTR dwParam3 = 0) {
            PostTapiEvent(hDevice, dwMessage, dwParam1, dwParam2, dwParam3);
            if (!bQueue) PumpMessages(m_pApp.get());
            ++nEvents;
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
        return nEvents;
    }
    // Lets the loop run for a while, so that anything the program put off
    // (a coalesced refresh) is done.
    void Settle(DWORD dwMs = 400) {
        const DWORD dwStart = GetTickCount();
        PumpUntil([&] { return GetTickCount() - dwStart >= dwMs; }, m_pApp.get(), dwMs + 1000);
    }
    bool Pump(const std::function<bool()>& condition) { return PumpUntil(condition, m_pApp.get()); }
    // Every event taken in and shown: the views refresh on their own time.
    bool Idle() {
        return Pump([this] {
            CMainFrame* pFrame = m_pApp->GetMainFrame();
            for (CLineView* pView :
                 {static_cast<CLineView*>(pFrame->GetCoView()), static_cast<CLineView*>(pFrame->GetExtView()),
                  static_cast<CLineView*>(pFrame->GetEtcView())}) {
                if (pView->GetTreeCtrl().HasChanges()) return false;
            }
            return g_tapiEvents.empty();
        });
    }
    void PressCtrl(HWND hWnd, char chKey) {
        CHeldKeys control({VK_CONTROL});
        PostKey(hWnd, static_cast<UINT>(chKey));
        PumpMessages(m_pApp.get());
    }
    HWND Frame() const { return m_pApp->GetMainFrame()->GetHwnd(); }
    HWND Pane(int nColumn) const { return m_pApp->GetMainFrame()->GetSplitter().GetPane(nColumn); }
    HTREEITEM Root(int nColumn) const { return TreeView_GetRoot(Pane(nColumn)); }
    HTREEITEM Line(int nColumn, const std::string& strLabel) const {
        return FindChild(Pane(nColumn), Root(nColumn), strLabel);
    }
    static bool ShowsItsFreshPainting(HWND hWnd) {
        const std::vector<BYTE> shown = ClientPixels(hWnd);
        RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return !shown.empty() && shown == ClientPixels(hWnd);
    }
    bool PaneShowsItsFreshPainting(int nColumn) const { return ShowsItsFreshPainting(Pane(nColumn)); }
    std::string StatusText(int nPart) const {
        char szText[512] = "";
        SendMessageA(m_pApp->GetMainFrame()->GetStatusBar(), SB_GETTEXTA, static_cast<WPARAM>(nPart),
                     reinterpret_cast<LPARAM>(szText));
        return szText;
    }
    static std::string InWorkingFolder(const std::string& strName) {
        char szFolder[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof szFolder, szFolder);
        const std::string strPath = std::string(szFolder) + "\\" + strName;
        DeleteFileA(strPath.c_str());
        return strPath;
    }
    static bool Exists(const std::string& strPath) {
        return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    CFakeTapi m_fake;
    std::unique_ptr<CLinoscopeApp> m_pApp;
};

TEST_F(AppWindowTest, StartShowsMenuSortedPanesF6AndAbout) {
    AddScene();
    // At the first start the progress dialog is up while the lines open, with
    // no main window yet to disable.
    int nOpensSeen = 0;
    bool bProgressShown = true, bMainWindowSeen = false;
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

    using Entries = std::vector<std::pair<std::string, UINT>>;
    const auto entries = [](HMENU hMenu) {
        Entries items;
        for (int i = 0; i < GetMenuItemCount(hMenu); ++i) {
            char szText[64] = "";
            GetMenuStringA(hMenu, static_cast<UINT>(i), szText, sizeof szText, MF_BYPOSITION);
            items.emplace_back(szText, GetMenuItemID(hMenu, i));
        }
        return items;
    };
    HMENU hMenu = GetMenu(Frame());
    EXPECT_EQ(entries(hMenu),
              (Entries{{"&File", UINT(-1)}, {"&Edit", UINT(-1)}, {"&View", UINT(-1)}, {"&Help", UINT(-1)}}));
    EXPECT_EQ(entries(GetSubMenu(hMenu, 0)),
              (Entries{{"&Save Line Reports...\tCtrl+S", ID_FILE_SAVE_REPORTS}, {"", 0}, {"E&xit", ID_APP_EXIT}}));
    EXPECT_EQ(entries(GetSubMenu(hMenu, 1)),
              (Entries{{"&Find...\tCtrl+F", ID_EDIT_FIND}, {"Find &Next\tF3", ID_EDIT_REPEAT}}));
    EXPECT_EQ(entries(GetSubMenu(hMenu, 2)), (Entries{{"&Follow Events", ID_VIEW_FOLLOW_EVENTS}}));
    EXPECT_EQ(entries(GetSubMenu(hMenu, 3)), (Entries{{"&About Linoscope3...", ID_APP_ABOUT}}));

    // Three tree controls left to right, CO, EXT, ETC, the first two a third
    // of the client width each; lines sorted by label as text, regardless of case.
    RECT rcClient{};
    GetClientRect(Frame(), &rcClient);
    const Texts roots = {"CO", "EXT", "ETC"};
    const Texts lines[] = {{"0007", "0021 Sales"}, {"1000", "201", "99"}, {"Modem"}};
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
        EXPECT_EQ(ChildTexts(hTree, TVI_ROOT), Texts{roots[nColumn]});
        EXPECT_NE(TreeView_GetItemState(hTree, Root(nColumn), TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
        EXPECT_EQ(ChildTexts(hTree, Root(nColumn)), lines[nColumn]);
    }

    // F6 moves the focus to the next pane, round the end; Shift+F6 back.
    SetFocus(Pane(0));
    for (int nTo : {1, 2, 0}) {
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

    // About: the icon first, then the product version, centred over the frame.
    EXPECT_TRUE(std::regex_match(m_pApp->m_strVersion, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << m_pApp->m_strVersion;
    std::string strVersionLine;
    bool bIconFirst = false, bCentred = false;
    CDialogAnswerer about("About Linoscope3", [&](HWND hDlg, int) {
        HWND hIcon = GetWindow(hDlg, GW_CHILD);
        bIconFirst = (GetWindowLongPtrA(hIcon, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                     SendMessageA(hIcon, STM_GETICON, 0, 0) != 0;
        strVersionLine = GetWindowTextString(GetWindow(hIcon, GW_HWNDNEXT));
        bCentred = CentredOver(hDlg, Frame());
        PostClick(hDlg, IDOK);
    });
    PostMessageA(Frame(), WM_COMMAND, ID_APP_ABOUT, 0);
    ASSERT_TRUE(Pump([&] { return about.GetCount() == 1; }));
    EXPECT_TRUE(bIconFirst);
    EXPECT_TRUE(bCentred);
    EXPECT_EQ(strVersionLine, "Talvora Linoscope3 Version " + m_pApp->m_strVersion);
}

TEST_F(AppWindowTest, LineAndCallMenusAndCallNodesThroughTheMessageLoop) {
    AddScene();
    const HLINE hExt201 = CFakeTapi::LineHandleFor(0);
    const HLINE hCo21 = CFakeTapi::LineHandleFor(3);
    m_fake.m_callInfo[0x7001] = CFakeTapi::MakeCallInfo(hExt201, "301", "201");
    m_fake.m_callStatus[0x7001] = CFakeTapi::MakeCallStatus(LINECALLSTATE_CONNECTED);
    m_fake.m_callInfo[0x7002] = CFakeTapi::MakeCallInfo(hCo21, "0123456789", "21");
    m_fake.m_callStatus[0x7002] = CFakeTapi::MakeCallStatus(LINECALLSTATE_OFFERING);
    ASSERT_TRUE(Start());
    HWND hExt = Pane(1);
    HTREEITEM h201 = Line(1, "201");
    ASSERT_NE(h201, nullptr);
    TreeView_SelectItem(hExt, Root(1));
    Texts infos;
    CDialogAnswerer info("Information", [&](HWND hDlg, int) {
        infos.push_back(ControlText(hDlg, IDC_INFO_TEXT));
        PostClick(hDlg, IDOK);
    });

    // Right-click selects the line; Line Information reports device 0, the
    // line labelled 201, as the report has it.
    m_fake.ClearCalls();
    SMenuCatcher menu = RightClick(hExt, h201, true);
    EXPECT_EQ(TreeView_GetSelection(hExt), h201);
    EXPECT_EQ(menu.texts, Texts{"Line Information"});
    EXPECT_EQ(menu.ids, std::vector<UINT>{ID_LINE_INFORMATION});
    ASSERT_TRUE(Pump([&] { return info.GetCount() == 1; }));
    const auto devCaps = m_fake.CallsOf("lineGetDevCaps");
    ASSERT_FALSE(devCaps.empty());
    for (const auto& call : devCaps) EXPECT_EQ(call.args.at(1), 0u);
    EXPECT_NE(infos[0].find("<< LINEDEVCAPS >>"), std::string::npos) << infos[0];
    EXPECT_NE(infos[0].find("\"EXT 201\""), std::string::npos) << infos[0];
    EXPECT_EQ(infos[0].find("EXT 99"), std::string::npos);
    EXPECT_NE(infos[0].find("\r\n"), std::string::npos);

    // No menu on a root; the CO view's line menu is its own; dismissed, nothing
    // runs. From the keyboard (Shift+F10) the selected line's menu opens too.
    EXPECT_EQ(RightClick(hExt, Root(1), false).nOpened, 0);
    EXPECT_EQ(TreeView_GetSelection(hExt), Root(1));
    EXPECT_EQ(RightClick(Pane(0), Line(0, "0021 Sales"), false).texts, Texts{"Line Information"});
    EXPECT_EQ(info.GetCount(), 1);
    TreeView_SelectItem(hExt, h201);
    SetFocus(hExt);
    SMenuCatcher keyboard = CatchMenu(
        false, [&] { SendMessageA(hExt, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hExt), MAKELPARAM(-1, -1)); });
    EXPECT_EQ(keyboard.texts, Texts{"Line Information"});

    // Calls arrive through the loop, and only then.
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7001, LINECALLPRIVILEGE_MONITOR);
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
    PostTapiEvent(hCo21, LINE_APPNEWCALL, 0, 0x7002, LINECALLPRIVILEGE_MONITOR);
    PostTapiEvent(0x7002, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_MONITOR);
    EXPECT_FALSE(TreeView_GetChild(hExt, h201));
    ASSERT_TRUE(Idle());
    std::vector<HTREEITEM> calls = ChildItems(hExt, h201);
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
    EXPECT_TRUE(ChildItems(hExt, Line(1, "99")).empty());

    // The call's menu offers Call Information, and its report follows; a
    // detail item has no menu.
    menu = RightClick(hExt, calls[0], true);
    EXPECT_EQ(menu.texts, Texts{"Call Information"});
    EXPECT_EQ(menu.ids, std::vector<UINT>{ID_CALL_INFORMATION});
    ASSERT_TRUE(Pump([&] { return info.GetCount() == 2; }));
    for (const char* psz : {"<< LINECALLINFO >>", "<< LINECALLSTATUS >>", "\"301\""})
        EXPECT_NE(infos[1].find(psz), std::string::npos) << psz << " in " << infos[1];
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
    // Idle: the node disappears, again through the loop.
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(ChildItems(hExt, h201).empty());
}

TEST_F(AppWindowTest, CtrlNRebuildsTheTreesWithCallsGoneWhileTheWindowWaits) {
    AddScene();
    const HLINE hExt201 = CFakeTapi::LineHandleFor(0);
    m_fake.m_callInfo[0x7001] = CFakeTapi::MakeCallInfo(hExt201, "301", "201");
    ASSERT_TRUE(Start());
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7001);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(ChildItems(Pane(1), Line(1, "201")).size(), 1u);

    // During the restart the progress dialog keeps the main window disabled;
    // the old monitor was shut down before the new one started.
    std::vector<bool> enabledDuringOpen;
    m_fake.OnOpen = [&](HLINEAPP, DWORD dwDevice, HLINE* phLine, DWORD, DWORD) -> LONG {
        enabledDuringOpen.push_back(IsWindowEnabled(Frame()) != 0);
        *phLine = CFakeTapi::LineHandleFor(dwDevice);
        return 0;
    };
    m_fake.ClearCalls();
    SetFocus(Pane(1));
    PressCtrl(Pane(1), 'N');
    ASSERT_EQ(m_fake.Count("lineInitializeEx"), 1u);
    const std::string strSequence = m_fake.Sequence();
    EXPECT_LT(strSequence.find("lineClose"), strSequence.find("lineShutdown"));
    EXPECT_LT(strSequence.find("lineShutdown"), strSequence.find("lineInitializeEx"));
    EXPECT_EQ(m_fake.Count("lineClose"), 6u);
    EXPECT_EQ(enabledDuringOpen, std::vector<bool>(6, false));
    EXPECT_TRUE(IsWindowEnabled(Frame()));
    const Texts roots = {"CO", "EXT", "ETC"};
    for (int nColumn = 0; nColumn < 3; ++nColumn) EXPECT_EQ(ChildTexts(Pane(nColumn), TVI_ROOT), Texts{roots[nColumn]});
    EXPECT_EQ(ChildTexts(Pane(1), Root(1)), (Texts{"1000", "201", "99"}));
    EXPECT_TRUE(ChildItems(Pane(1), Line(1, "201")).empty());
    EXPECT_EQ(TreeView_GetCount(Pane(1)), 4u);

    // The new monitor's tables know the new tree: a new call lands in it.
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7003);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(ChildItems(Pane(1), Line(1, "201")).size(), 1u);
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

    const auto start = std::chrono::steady_clock::now();
    int nEvents = DeliverCallRound(kLines, 0x10000, 0);
    nEvents += DeliverCallRound(kLines, 0x20000, 0x10000);
    std::printf(
        "%d events in %lld ms\n", nEvents,
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()));
    EXPECT_GE(nEvents, 300);
    EXPECT_EQ(ChildItems(Pane(1), Line(1, "1700")).size(), 1u);  // idle, then a new call
    EXPECT_EQ(ChildItems(Pane(1), Line(1, "1701")).size(), 2u);
    Settle();
    // What the panes show after the burst is their fresh painting: no stale
    // or overlapping text.
    EXPECT_TRUE(PaneShowsItsFreshPainting(0));
    EXPECT_TRUE(PaneShowsItsFreshPainting(1));

    // View > Follow Events, on by default, turned off: events no longer
    // scroll the panes or expand their lines.
    HMENU hView = GetSubMenu(GetMenu(Frame()), 2);
    ASSERT_NE(hView, nullptr);
    EXPECT_EQ(GetMenuState(hView, ID_VIEW_FOLLOW_EVENTS, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    PostMessageA(Frame(), WM_COMMAND, ID_VIEW_FOLLOW_EVENTS, 0);
    PumpMessages(m_pApp.get());
    EXPECT_EQ(GetMenuState(hView, ID_VIEW_FOLLOW_EVENTS, MF_BYCOMMAND) & MF_CHECKED, 0u);
    HWND hExt = Pane(1);
    HTREEITEM hTop = Line(1, "1710");
    TreeView_Select(hExt, hTop, TVGN_FIRSTVISIBLE);
    ASSERT_EQ(TreeView_GetFirstVisible(hExt), hTop);
    TreeView_Expand(hExt, Line(1, "1703"), TVE_COLLAPSE);
    DeliverCallRound(kLines, 0x30000, 0x20000);
    Settle();
    EXPECT_EQ(TreeView_GetFirstVisible(hExt), hTop);
    EXPECT_EQ(TreeView_GetItemState(hExt, Line(1, "1703"), TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    EXPECT_EQ(ChildItems(hExt, Line(1, "1703")).size(), 3u);  // the calls are there all the same
    EXPECT_TRUE(PaneShowsItsFreshPainting(1));

    // On again: the next event brings its line into view.
    PostMessageA(Frame(), WM_COMMAND, ID_VIEW_FOLLOW_EVENTS, 0);
    PumpMessages(m_pApp.get());
    PostTapiEvent(CFakeTapi::LineHandleFor(0), LINE_APPNEWCALL, 0, 0x50000, LINECALLPRIVILEGE_MONITOR);
    ASSERT_TRUE(Idle());
    EXPECT_NE(TreeView_GetFirstVisible(hExt), hTop);

    // Events faster than they are handled: the queue never runs dry, so the
    // system would make neither WM_PAINT nor WM_TIMER. The loop still runs
    // the timers and paints every tenth of a second: each time the panes and
    // the status bar show their fresh painting, and the count moves on.
    DeliverCallRound(kLines, 0x60000, 0x30000, true);
    DeliverCallRound(kLines, 0x70000, 0x60000, true);
    HWND hStatus = m_pApp->GetMainFrame()->GetStatusBar();
    int nChores = 0;
    std::set<std::string> counts;
    ULONGLONG qwChores = m_pApp->GetLastChoresTick();
    for (MSG msg; m_pApp->NextMessage(&msg, FALSE);) {
        if (m_pApp->GetLastChoresTick() != qwChores && g_tapiEvents.size() > 20) {
            qwChores = m_pApp->GetLastChoresTick();
            ++nChores;
            EXPECT_TRUE(PaneShowsItsFreshPainting(0) && PaneShowsItsFreshPainting(1) && ShowsItsFreshPainting(hStatus))
                << "with " << g_tapiEvents.size() << " events waiting";
            counts.insert(StatusText(2));
        }
        DispatchMessageA(&msg);
    }
    EXPECT_GE(nChores, 2);
    EXPECT_GE(counts.size(), 2u);
    EXPECT_TRUE(g_tapiEvents.empty());
}

TEST_F(AppWindowTest, InformationResizesSelectsCopiesSavesItsTextAndKeepsItsSize) {
    AddScene();
    ASSERT_TRUE(Start());
    // Room on the screen for the enlarged dialog centred over the frame.
    SetWindowPos(Frame(), nullptr, 0, 0, 1280, 790, SWP_NOZORDER);
    HWND hExt = Pane(1);
    TreeView_SelectItem(hExt, Line(1, "201"));
    SetFocus(hExt);
    const std::string strPath = InWorkingFolder("test_win_info_saved.txt");
    std::string strOffered;
    CDialogAnswerer save("Save As", [&](HWND hDlg, int) { strOffered = AnswerSaveDialog(hDlg, strPath); });
    LONG_PTR style = 0;
    bool bCentred = false;
    RECT rcTextBefore{}, rcTextAfter{}, rcResized{}, rcReopened{};
    std::string strText, strSaved, strClipboard;
    DWORD dwSelStart = 1, dwSelEnd = 0;
    CDialogAnswerer info("Information", [&](HWND hDlg, int nIndex) {
        if (nIndex == 1) {
            GetWindowRect(hDlg, &rcReopened);
            bCentred = CentredOver(hDlg, Frame());
            PostClick(hDlg, IDOK);
            return;
        }
        style = GetWindowLongPtrA(hDlg, GWL_STYLE);
        HWND hText = GetDlgItem(hDlg, IDC_INFO_TEXT);
        strText = GetWindowTextString(hText);
        GetWindowRect(hText, &rcTextBefore);
        RECT rc{};
        GetWindowRect(hDlg, &rc);
        SetWindowPos(hDlg, nullptr, 0, 0, rc.right - rc.left + 200, rc.bottom - rc.top + 120,
                     SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(hDlg, &rcResized);
        GetWindowRect(hText, &rcTextAfter);
        SetFocus(hText);
        {
            CHeldKeys control({VK_CONTROL});
            SendMessageA(hText, WM_KEYDOWN, 'A', 0);
            SendMessageA(hText, WM_KEYDOWN, 'C', 0);
        }
        SendMessageA(hText, EM_GETSEL, reinterpret_cast<WPARAM>(&dwSelStart), reinterpret_cast<LPARAM>(&dwSelEnd));
        if (OpenClipboard(hDlg)) {
            if (HANDLE hData = GetClipboardData(CF_TEXT)) {
                if (const char* psz = static_cast<const char*>(GlobalLock(hData))) strClipboard = psz;
                GlobalUnlock(hData);
            }
            CloseClipboard();
        }
        // Save... runs the Save dialog and writes before it returns.
        SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDC_INFO_SAVE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDC_INFO_SAVE)));
        strSaved = ReadFileBytes(strPath);
        PostClick(hDlg, IDOK);
    });
    PostMessageA(Frame(), WM_COMMAND, ID_LINE_INFORMATION, 0);
    ASSERT_TRUE(Pump([&] { return info.GetCount() == 1 && FindWindowA("#32770", "Information") == nullptr; }));
    EXPECT_NE(style & WS_THICKFRAME, 0);
    EXPECT_NE(style & WS_MAXIMIZEBOX, 0);
    // The text follows the dialog's size, is selected whole, copied and saved.
    EXPECT_EQ(rcTextAfter.right - rcTextAfter.left, rcTextBefore.right - rcTextBefore.left + 200);
    EXPECT_EQ(rcTextAfter.bottom - rcTextAfter.top, rcTextBefore.bottom - rcTextBefore.top + 120);
    ASSERT_NE(strText.find("<< LINEDEVCAPS >>"), std::string::npos);
    EXPECT_EQ(dwSelStart, 0u);
    EXPECT_EQ(dwSelEnd, strText.size());
    EXPECT_EQ(strClipboard, strText);
    EXPECT_EQ(save.GetCount(), 1);
    EXPECT_EQ(strOffered.rfind("201 20", 0), 0u) << strOffered;  // the line, then the time
    EXPECT_EQ(strSaved, strText);
    // Opened again: the size it was left at, centred over the main window.
    PostMessageA(Frame(), WM_COMMAND, ID_LINE_INFORMATION, 0);
    ASSERT_TRUE(Pump([&] { return info.GetCount() == 2 && FindWindowA("#32770", "Information") == nullptr; }));
    EXPECT_EQ(rcReopened.right - rcReopened.left, rcResized.right - rcResized.left);
    EXPECT_EQ(rcReopened.bottom - rcReopened.top, rcResized.bottom - rcResized.top);
    EXPECT_TRUE(bCentred);
    DeleteFileA(strPath.c_str());
}

TEST_F(AppWindowTest, StatusBarCountsTheLogWaitsForItsRetryTimerAndFindWrapsAcrossPanes) {
    AddScene();
    const HLINE hExt201 = CFakeTapi::LineHandleFor(0);
    m_fake.m_callInfo[0x7001] = CFakeTapi::MakeCallInfo(hExt201, "301", "201");
    ASSERT_TRUE(Start());
    const auto lines = [&](int nColumn) { return std::to_string(ChildItems(Pane(nColumn), Root(nColumn)).size()); };
    EXPECT_EQ(StatusText(0), "CO " + lines(0) + "   EXT " + lines(1) + "   ETC " + lines(2));
    EXPECT_EQ(StatusText(1), "Calls 0");
    EXPECT_EQ(StatusText(3), "Log testlog.csv");

    // Another program holds the log: records wait, and the status bar says so.
    CEventLogWriter& log = *m_pApp->GetDocument()->m_pEventLog;
    CFileHolder holder("testlog.csv");
    ASSERT_TRUE(holder.IsHeld());
    PostTapiEvent(hExt201, LINE_APPNEWCALL, 0, 0x7001, LINECALLPRIVILEGE_MONITOR);
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_MONITOR);
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
    ASSERT_TRUE(Idle());
    Settle(300);
    const size_t nWaiting = log.GetWaitingCount();
    EXPECT_GE(nWaiting, 2u);
    EXPECT_EQ(StatusText(3), "Log held by another program: " + std::to_string(nWaiting) + " records waiting");
    EXPECT_EQ(StatusText(1), "Calls 1");
    EXPECT_EQ(ChildItems(Pane(1), Line(1, "201")).size(), 1u);
    EXPECT_EQ(StatusText(2), "Events 3");
    // Let go: the retry timer writes what waited, without a new record.
    const std::string strMark = "RETRY-TIMER-" + std::to_string(GetTickCount());
    m_pApp->GetDocument()->m_pMonitor->WriteLog(strMark);
    ASSERT_EQ(log.GetWaitingCount(), nWaiting + 1);
    holder.Release();
    EXPECT_TRUE(Pump([&] { return log.GetWaitingCount() == 0 && StatusText(3) == "Log testlog.csv"; }));
    const std::string strLog = ReadFileBytes("testlog.csv");
    ASSERT_GE(strLog.size(), strMark.size() + 2);
    EXPECT_EQ(strLog.substr(strLog.size() - strMark.size() - 2), strMark + "\r\n");
    PostTapiEvent(0x7001, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    EXPECT_TRUE(Pump([&] { return StatusText(1) == "Calls 0" && StatusText(2) == "Events 4"; }));

    // Edit > Find: part of a label, across the panes CO, EXT, ETC and round.
    int nAsked = 0;
    CDialogAnswerer find("Find Line", [&](HWND hDlg, int) {
        ++nAsked;
        SetDlgItemTextA(hDlg, IDC_FIND_TEXT, "1");
        PostClick(hDlg, IDOK);
    });
    TreeView_SelectItem(Pane(0), Line(0, "0021 Sales"));
    SetFocus(Pane(0));
    PressCtrl(Pane(0), 'F');
    ASSERT_TRUE(Pump([&] { return nAsked == 1 && GetFocus() == Pane(1); }));
    EXPECT_EQ(TreeView_GetSelection(Pane(1)), Line(1, "1000"));
    const std::pair<int, const char*> steps[] = {{1, "201"}, {0, "0021 Sales"}, {1, "1000"}};
    for (const auto& [nColumn, pszLabel] : steps) {
        PostKey(GetFocus(), VK_F3);
        PumpMessages(m_pApp.get());
        EXPECT_EQ(GetFocus(), Pane(nColumn)) << pszLabel;
        EXPECT_EQ(TreeView_GetSelection(Pane(nColumn)), Line(nColumn, pszLabel)) << pszLabel;
    }
    // Without regard to case; a text no line has leaves the selection alone.
    EXPECT_TRUE(m_pApp->GetMainFrame()->FindLine("mODEM"));
    EXPECT_EQ(GetFocus(), Pane(2));
    EXPECT_FALSE(m_pApp->GetMainFrame()->FindLine("Desk 42"));
    EXPECT_EQ(TreeView_GetSelection(Pane(2)), Line(2, "Modem"));
    EXPECT_EQ(nAsked, 1);
}

TEST_F(AppWindowTest, SaveLineReportsWritesEveryLineInTreeOrderAndCancelWritesNothing) {
    AddScene();
    ASSERT_TRUE(Start());
    const std::string strPath = InWorkingFolder("test_win_line_reports.txt");
    std::string strOffered;
    CDialogAnswerer save("Save As", [&](HWND hDlg, int) { strOffered = AnswerSaveDialog(hDlg, strPath); });
    SetFocus(Pane(0));
    PressCtrl(Pane(0), 'S');
    ASSERT_TRUE(Pump([&] { return Exists(strPath); }));
    EXPECT_EQ(strOffered.rfind("Line reports 20", 0), 0u) << strOffered;
    const std::string strText = ReadFileBytes(strPath);
    // EXT, CO, ETC, each in its tree's order, each line once, its report under its label.
    const std::pair<const char*, const char*> order[] = {{"1000", "\"EXT 1000\""},    {"201", "\"EXT 201\""},
                                                         {"99", "\"EXT 99\""},        {"0007", "\"CO 7\""},
                                                         {"0021 Sales", "\"CO 21\""}, {"Modem", "<< LINEDEVCAPS >>"}};
    size_t nFrom = 0;
    for (const auto& [pszLabel, pszInReport] : order) {
        const size_t nHeading = strText.find(std::string("==== ") + pszLabel + " ====\r\n", nFrom);
        ASSERT_NE(nHeading, std::string::npos) << pszLabel;
        const size_t nNext = strText.find("==== ", nHeading + 5);
        const std::string strReport = strText.substr(nHeading, nNext == std::string::npos ? nNext : nNext - nHeading);
        EXPECT_NE(strReport.find(pszInReport), std::string::npos) << pszLabel;
        EXPECT_NE(strReport.find("<< LINEADDRESSCAPS >>"), std::string::npos) << pszLabel;
        nFrom = nHeading + 1;
    }
    size_t nHeadings = 0;
    for (size_t n = strText.find(" ====\r\n"); n != std::string::npos; n = strText.find(" ====\r\n", n + 1))
        ++nHeadings;
    EXPECT_EQ(nHeadings, 6u);

    // Cancel while the reports are gathered: the progress dialog (over the
    // frame) goes, the file is not written, the window is usable again.
    // Then a restart that runs while they are gathered (its command already
    // queued) takes the lines away: the save stops, nothing is written, the
    // new trees are there.
    for (const bool bRestart : {false, true}) {
        SCOPED_TRACE(bRestart ? "restart" : "cancel");
        DeleteFileA(strPath.c_str());
        int nFetched = 0;
        bool bProgressCentred = false;
        m_fake.ClearCalls();
        m_fake.OnGetLineDevStatus = [&](HLINE, LINEDEVSTATUS*) -> LONG {
            if (++nFetched != 2) return LINEERR_INVALLINEHANDLE;
            HWND hProgress = FindWindowA("#32770", "Linoscope3");
            bProgressCentred = hProgress != nullptr && CentredOver(hProgress, Frame());
            if (bRestart)
                PostMessageA(Frame(), WM_COMMAND, ID_FILE_NEW, 0);
            else
                PostClick(hProgress, IDCANCEL);
            return LINEERR_INVALLINEHANDLE;
        };
        PostMessageA(Frame(), WM_COMMAND, ID_FILE_SAVE_REPORTS, 0);
        ASSERT_TRUE(Pump([&] {
            return save.GetCount() == (bRestart ? 3 : 2) && m_fake.Count("lineInitializeEx") == (bRestart ? 1u : 0u) &&
                   FindWindowA("#32770", "Linoscope3") == nullptr;
        }));
        PumpMessages(m_pApp.get());
        if (!bRestart) {
            EXPECT_TRUE(bProgressCentred);
            EXPECT_EQ(nFetched, 2);
        }
        EXPECT_FALSE(Exists(strPath));
        EXPECT_TRUE(IsWindowEnabled(Frame()));
        EXPECT_EQ(ChildTexts(Pane(1), Root(1)), (Texts{"1000", "201", "99"}));
    }
}

// Calls g_onPaneDestroy when the subclassed pane is destroyed. A named
// CALLBACK function: a lambda has the default calling convention, which on
// 32-bit Windows is not a subclass procedure's.
std::function<void()> g_onPaneDestroy;
LRESULT CALLBACK NotifyPaneDestroy(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (uMsg == WM_DESTROY && g_onPaneDestroy) g_onPaneDestroy();
    return DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

TEST_F(AppWindowTest, ExitDestroysViewsBeforeTheMonitorAndPlacementSurvivesButNotOffScreen) {
    AddScene();
    ASSERT_TRUE(Start());
    SetWindowPos(Frame(), nullptr, 120, 90, 900, 560, SWP_NOZORDER);
    m_pApp->GetMainFrame()->GetSplitter().SetColumnWidth(0, 200);
    m_pApp->GetMainFrame()->GetSplitter().SetColumnWidth(1, 350);
    PostTapiEvent(CFakeTapi::LineHandleFor(0), LINE_APPNEWCALL, 0, 0x7001);
    ASSERT_TRUE(Idle());
    ASSERT_NE(m_pApp->GetDocument()->m_pMonitor, nullptr);
    ASSERT_EQ(Internals(*m_pApp->GetDocument()->m_pMonitor).m_extCalls.size(), 1u);
    // Watch the EXT view's destruction: the monitor must still be there.
    bool bMonitorAliveAtDestroy = false;
    g_onPaneDestroy = [&] { bMonitorAliveAtDestroy = m_pApp->GetDocument()->m_pMonitor != nullptr; };
    SetWindowSubclass(Pane(1), NotifyPaneDestroy, 1, 0);
    m_fake.ClearCalls();
    EXPECT_TRUE(Exit());
    g_onPaneDestroy = nullptr;
    EXPECT_TRUE(bMonitorAliveAtDestroy);
    EXPECT_EQ(m_pApp->GetDocument()->m_pMonitor, nullptr);
    EXPECT_EQ(m_fake.Count("lineClose"), 6u);
    EXPECT_EQ(m_fake.Count("lineShutdown"), 1u);
    EXPECT_EQ(m_pApp->GetMainFrame()->GetHwnd(), nullptr);

    m_pApp.reset();
    DrainQueue();
    ASSERT_TRUE(Start());
    RECT rc{}, rcPane{};
    GetWindowRect(Frame(), &rc);
    EXPECT_EQ(rc.left, 120);
    EXPECT_EQ(rc.top, 90);
    EXPECT_EQ(rc.right - rc.left, 900);
    EXPECT_EQ(rc.bottom - rc.top, 560);
    GetWindowRect(Pane(0), &rcPane);
    EXPECT_EQ(rcPane.right - rcPane.left, 200);
    GetWindowRect(Pane(1), &rcPane);
    EXPECT_EQ(rcPane.right - rcPane.left, 350);

    // Left on a screen that is no longer there: the size comes back, on a
    // screen that is.
    EXPECT_TRUE(Exit());
    m_pApp.reset();
    DrainQueue();
    settings::WriteInt("Left", 5000);
    settings::WriteInt("Top", 4000);
    settings::WriteInt("Right", 5900);
    settings::WriteInt("Bottom", 4560);
    ASSERT_TRUE(Start());
    GetWindowRect(Frame(), &rc);
    EXPECT_NE(MonitorFromRect(&rc, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(rc.right - rc.left, 900);
    EXPECT_EQ(rc.bottom - rc.top, 560);
}

// A start-up that fails asks each time; Yes retries (from the queue, the
// trees already there), and a start that then finds lines fills them; No
// ends the program with every monitor shut down.
TEST_F(AppWindowTest, EachFailedStartAsksYesRetriesAndNoEndsTheProgram) {
    m_fake.m_dwNumDevs = 0;
    Texts questions;
    CDialogAnswerer answerer("", [&](HWND hDlg, int nIndex) {
        questions.push_back(ControlText(hDlg, kMessageText));
        if (nIndex == 1) AddScene();
        PostMessageA(hDlg, WM_COMMAND, nIndex < 2 ? IDYES : IDNO, 0);
    });
    m_pApp = std::make_unique<CLinoscopeApp>(GetModuleHandleA(nullptr));
    ASSERT_TRUE(m_pApp->InitInstance());
    ASSERT_EQ(questions, Texts{"Tapi Initizlize Error.\nRetry?"});
    EXPECT_EQ(ChildTexts(Pane(1), TVI_ROOT), Texts{"EXT"});
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, Frame(), WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(ID_FILE_NEW));
    ASSERT_TRUE(Pump([&] { return ChildItems(Pane(1), Root(1)).size() == 3; }));
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(m_fake.Count("lineInitializeEx"), 3u);
    EXPECT_TRUE(IsWindowVisible(Frame()));
    EXPECT_EQ(ChildTexts(Pane(0), Root(0)), (Texts{"0007", "0021 Sales"}));

    m_fake.m_dwNumDevs = 0;
    PostMessageA(Frame(), WM_COMMAND, ID_FILE_NEW, 0);
    EXPECT_TRUE(PumpUntilQuit());
    EXPECT_EQ(questions, Texts(3, "Tapi Initizlize Error.\nRetry?"));
    EXPECT_EQ(m_fake.Count("lineInitializeEx"), 4u);
    EXPECT_EQ(m_fake.Count("lineShutdown"), 4u);
    EXPECT_EQ(m_pApp->GetMainFrame()->GetHwnd(), nullptr);
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_EQ(m_pApp->GetDocument()->m_pMonitor, nullptr);
}

// The simulated PBX stands in for TAPI; its journal tells what it saw. Once
// the first line is open, the frame is told to close as Windows tells it
// (posted WM_CLOSE; logging off sends WM_QUERYENDSESSION, then WM_ENDSESSION).
struct SStartupClose {
    std::string strJournal;
    CLinoscopeApp* pApp = nullptr;
    UINT uMsg = 0;
    bool bDone = false;
} g_startupClose;

void CALLBACK CloseWhenALineIsOpen(HWND, UINT, UINT_PTR nTimer, DWORD) {
    SStartupClose& close = g_startupClose;
    if (close.pApp == nullptr || close.bDone || ReadFileBytes(close.strJournal).find("lineOpenA") == std::string::npos)
        return;
    KillTimer(nullptr, nTimer);
    close.bDone = true;
    HWND hFrame = close.pApp->GetMainFrame()->GetHwnd();
    if (close.uMsg == WM_CLOSE) {
        PostMessageA(hFrame, WM_CLOSE, 0, 0);
    } else {
        SendMessageA(hFrame, WM_QUERYENDSESSION, 0, 0);
        SendMessageA(hFrame, WM_ENDSESSION, TRUE, 0);
    }
}

// Closing the window or logging off while the start-up of a large PBX is
// still opening lines: the start-up stops there, nothing is asked, every line
// it opened is closed, TAPI is shut down and the program ends.
TEST_F(AppWindowTest, CloseOrLogOffDuringStartUpStopsItAndEndsCleanly) {
    const std::string strSim = platform::ExecutableDirectory() + "\\..\\sim\\TAPI32.dll";
    HMODULE hSim = LoadLibraryA(strSim.c_str());
    ASSERT_NE(hSim, nullptr) << strSim;
    auto pfnReset = reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(hSim, "simReset")));
    ASSERT_NE(pfnReset, nullptr) << "not the simulator: Wine's own tapi32 was loaded";
    char szTemp[MAX_PATH] = "";
    GetTempPathA(sizeof szTemp, szTemp);
    constexpr int kLines = 400;
    std::string strScenario = R"({"name": "large", "devices": [)";
    for (int i = 0; i < kLines; ++i)
        strScenario +=
            (i == 0 ? "" : ",") + std::string(R"({"kind": "ext", "number": ")") + std::to_string(1000 + i) + "\"}";
    const std::string strScenarioPath = std::string(szTemp) + "lsc_win_large.json";
    std::ofstream(strScenarioPath, std::ios::binary | std::ios::trunc) << strScenario << "]}";
    SetEnvironmentVariableA("LINOSCOPE3_SCENARIO", strScenarioPath.c_str());
    SetEnvironmentVariableA("LINOSCOPE3_SIM_MANUAL_CLOCK", "1");

    for (UINT uMsg : {WM_CLOSE, WM_QUERYENDSESSION}) {
        SCOPED_TRACE(uMsg == WM_CLOSE ? "WM_CLOSE" : "logging off");
        g_startupClose = {std::string(szTemp) + "lsc_win_journal.txt", nullptr, uMsg, false};
        pfnReset();
        DeleteFileA(g_startupClose.strJournal.c_str());
        SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", g_startupClose.strJournal.c_str());
        tapi::ResetEntryTableForTests(strSim.c_str());
        int nQuestions = 0;
        CDialogAnswerer answerer("", [&](HWND hDlg, int) {
            ++nQuestions;
            PostMessageA(hDlg, WM_COMMAND, IDNO, 0);
        });
        m_pApp = std::make_unique<CLinoscopeApp>(GetModuleHandleA(nullptr));
        g_startupClose.pApp = m_pApp.get();
        const UINT_PTR nTimer = SetTimer(nullptr, 0, 1, CloseWhenALineIsOpen);
        EXPECT_TRUE(m_pApp->InitInstance());
        EXPECT_TRUE(PumpUntilQuit());
        if (!g_startupClose.bDone) KillTimer(nullptr, nTimer);
        g_startupClose.pApp = nullptr;
        EXPECT_TRUE(g_startupClose.bDone);
        EXPECT_EQ(nQuestions, 0);
        EXPECT_EQ(m_pApp->GetMainFrame()->GetHwnd(), nullptr);
        EXPECT_EQ(m_pApp->GetDocument()->m_pMonitor, nullptr);
        m_pApp.reset();

        std::istringstream journal(ReadFileBytes(g_startupClose.strJournal));
        std::set<std::string> opened, closed;
        std::string strLine, strLast;
        std::smatch match;
        static const std::regex reOpen(R"(^lineOpenA .* -> 0 hLine=(0x[0-9A-F]+)\r?$)");
        static const std::regex reClose(R"(^lineClose hLine=(0x[0-9A-F]+) .* -> 0\r?$)");
        while (std::getline(journal, strLine)) {
            if (std::regex_match(strLine, match, reOpen)) opened.insert(match[1]);
            if (std::regex_match(strLine, match, reClose)) closed.insert(match[1]);
            strLast = strLine;
        }
        EXPECT_GT(opened.size(), 0u);
        EXPECT_LT(opened.size(), static_cast<size_t>(kLines)) << "the start-up did not stop";
        EXPECT_EQ(closed, opened);
        EXPECT_TRUE(std::regex_match(strLast, std::regex(R"(^lineShutdown hLineApp=\S+ -> 0 linesStillOpen=0\r?$)")))
            << strLast;
    }
    pfnReset();
    for (const char* pszName : {"LINOSCOPE3_SCENARIO", "LINOSCOPE3_SIM_JOURNAL", "LINOSCOPE3_SIM_MANUAL_CLOCK"})
        SetEnvironmentVariableA(pszName, nullptr);
}

// A version resource block as the resource compiler lays it out: header,
// the key "VS_VERSION_INFO", padding to four bytes, the fixed information;
// cut short to cbKeep bytes when given.
std::string FormatVersion(DWORD dwProductMS, DWORD dwProductLS, WORD wValueLength = sizeof(VS_FIXEDFILEINFO),
                          size_t cbKeep = 0) {
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
    block.insert(block.end(), reinterpret_cast<const BYTE*>(&info), reinterpret_cast<const BYTE*>(&info + 1));
    const auto wLength = static_cast<WORD>(block.size());
    std::memcpy(block.data(), &wLength, 2);
    if (cbKeep != 0) block.resize(cbKeep);
    return CLinoscopeApp::FormatProductVersion(block.data(), block.size());
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
