// The main window: title "Linoscope3", menu and accelerators 128, and a
// 1 x 3 splitter with the CO, EXT and ETC views from left to right. It routes
// commands to the active view first, then handles its own (close, panes) and
// hands the rest to the application; WM_CONTEXTMENU goes to the active view.
// Once a second it lets the document's event log retry its waiting records.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "views/win/LineView.h"
#include "win32/Splitter.h"
#include "win32/Window.h"

class CLinoscopeApp;
class CLinoscopeDoc;
class CTapiMonitor;

class CMainFrame : public CWindow, public CViewHost {
public:
    static constexpr int kCoColumn = 0;
    static constexpr int kExtColumn = 1;
    static constexpr int kEtcColumn = 2;

    CMainFrame(CLinoscopeApp* pApp, CLinoscopeDoc* pDocument);
    ~CMainFrame() override;

    // Creates the frame, hidden, with its splitter and the three views.
    BOOL Create(HINSTANCE hInstance);

    // Every view's initial update, CO first (after every new document).
    void InitialUpdateFrame();
    // Called after every TAPI message that reached the monitor: counts it and
    // refreshes every view and the status bar, at most once every
    // kRefreshIntervalMs (a faster stream is coalesced into one refresh).
    void UpdateAllViews();
    static constexpr UINT kRefreshIntervalMs = 100;

    // View > Follow Events: whether an event brings its line into view.
    void SetFollowEvents(BOOL bFollow);
    BOOL GetFollowEvents() const { return m_bFollowEvents; }

    // The status bar: lines per group, calls shown, events handled since the
    // program started, the event log's state.
    HWND GetStatusBar() const { return m_hStatusBar; }
    void UpdateStatusBar();
    std::string GetStatusText(int nPart) const;
    unsigned long long GetEventCount() const { return m_nEventCount; }
    // What the status bar says about the event log: its file name, or that
    // another program holds it and how many records wait.
    static std::string DescribeEventLog(const CTapiMonitor& monitor);

    // Edit > Find: the next line after the selection, across CO, EXT and ETC
    // in that order and round again, whose label holds the text (without
    // regard to case); it is selected, shown and focused. FALSE when no line
    // matches.
    BOOL FindLine(const std::string& strText);
    const std::string& GetFindText() const { return m_strFindText; }

    // File > Save Line Reports: every line's report, EXT, CO, then ETC, each
    // group in its tree's order, each headed by the line's label. FALSE when
    // cancelled or when no monitor runs.
    BOOL BuildLineReports(std::string& strText);

    // The window's place and the pane widths, kept in the settings when the
    // frame closes and taken back when it is made.
    void SavePlacement();
    void RestorePlacement();
    // How to show the frame the first time: maximized when it was left so.
    int GetInitialShowCommand() const { return m_nInitialShow; }

    // CViewHost
    CLinoscopeDoc* GetDocument() override { return m_pDocument; }
    void OnViewActivated(CLineView* pView) override;

    // The active document: the frame's document while the frame exists.
    CLinoscopeDoc* GetActiveDocument() const;
    // The view of the splitter's active pane, or null.
    CLineView* GetActiveView() const;

    CSplitter& GetSplitter() { return m_wndSplitter; }
    CCoView* GetCoView() const { return m_pCoView.get(); }
    CExtView* GetExtView() const { return m_pExtView.get(); }
    CEtcView* GetEtcView() const { return m_pEtcView.get(); }
    HACCEL GetAccelerators() const { return m_hAccel; }

    // Gives a WM_COMMAND to the active view, then to the frame, then to the
    // application; TRUE when someone handled it.
    BOOL RouteCommand(UINT nId);
    // A refresh waiting for the end of its interval is done now: the message
    // loop's periodic painting brings the views up to date first.
    void RefreshIfDue();

protected:
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    BOOL OnCreateClient();
    void OnRefreshTimer();
    void RefreshViews();
    void OnFind();
    void OnFindNext();
    void OnSaveLineReports();
    void LayoutClient(int nWidth, int nHeight);
    void OnContextMenu(HWND hWnd, POINT pt);
    // F6 and Shift+F6: the focus moves to the next or previous pane.
    void ActivateNextPane(BOOL bPrevious);
    CLineView* GetViewOfColumn(int nColumn) const;

    CLinoscopeApp* m_pApp;
    CLinoscopeDoc* m_pDocument;
    HINSTANCE m_hInstance = nullptr;
    HACCEL m_hAccel = nullptr;
    CSplitter m_wndSplitter;
    std::unique_ptr<CCoView> m_pCoView;
    std::unique_ptr<CExtView> m_pExtView;
    std::unique_ptr<CEtcView> m_pEtcView;
    HWND m_hStatusBar = nullptr;
    BOOL m_bFollowEvents = TRUE;
    BOOL m_bRefreshTimerRunning = FALSE;
    BOOL m_bRefreshDue = FALSE;
    unsigned long long m_nEventCount = 0;
    std::string m_strFindText;
    int m_nInitialShow = SW_SHOW;
    // Counts the trees' rebuilds, so that a long operation that lets
    // messages run can tell its items are gone.
    unsigned m_nTreeGeneration = 0;
};
