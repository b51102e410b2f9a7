// The three line tree views: CCoView, CExtView and CEtcView, side by side in
// the main window. Each is a SysTreeView32 control that shows one line group
// of the monitor of the frame's document; it rebuilds its tree at every
// initial update, selects the item under a right-click, shows the line or
// call menu of its group and routes the chosen commands to the monitor.
#pragma once

#include "views/DeferredTreeCtrl.h"
#include "win32/WinTreeCtrl.h"
#include "win32/Window.h"

class CLinoscopeDoc;
class CLineView;
class CTapiMonitor;

// What a view needs from the frame that holds it.
class CViewHost {
public:
    virtual ~CViewHost() = default;
    virtual CLinoscopeDoc* GetDocument() = 0;
    // The view got the focus: it is the active pane now.
    virtual void OnViewActivated(CLineView* pView) = 0;
};

class CLineView : public CWindow {
public:
    // Creates the tree control (WS_CHILD | WS_VISIBLE | WS_BORDER) as a child of hParent.
    BOOL Create(HINSTANCE hInstance, HWND hParent, UINT nId, CViewHost* pHost);

    // Clears the tree, registers it with the monitor and fills it again.
    virtual void OnInitialUpdate();
    // Shows the line or call menu of the selected item at a screen point;
    // (-1, -1) is a request from the keyboard.
    void ShowContextMenu(HWND hWnd, POINT pt);
    // Forgets the group's calls in the monitor and deletes every item.
    void ClearTree();
    // TRUE when the view handles the command.
    virtual BOOL OnCommand(UINT nId);
    // Shows the tree's changes when due (the frame refreshes after TAPI
    // messages, at most about ten times a second).
    void OnUpdate() { RefreshWhenDue(); }

    // A notification of the tree control (it asks for the texts it draws).
    LRESULT OnNotify(const NMHDR& header) const { return m_control.OnNotify(header); }
    // The tree the monitor changes; the control shows it at each refresh.
    CDeferredTreeCtrl& GetTreeCtrl() { return m_tree; }
    CLinoscopeDoc* GetDocument() const;
    CTapiMonitor* GetMonitor() const;

protected:
    // What differs between the groups.
    virtual UINT GetLineMenuId() const = 0;
    virtual UINT GetCallMenuId() const = 0;
    virtual void ClearCalls(CTapiMonitor& monitor) = 0;
    virtual void RegisterTree(CTapiMonitor& monitor, CTreeCtrl* pTree) = 0;
    virtual void FillTree(CTapiMonitor& monitor) = 0;
    virtual void ShowLineInfo(CTapiMonitor& monitor, HTREEITEM hItem) = 0;
    virtual void ShowCallInfo(CTapiMonitor& monitor, HTREEITEM hItem) = 0;

    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnRButtonDown(WPARAM wParam, LPARAM lParam);
    void OnDestroy();
    void OnPaint();

    // A change to the tree asks for a refresh (kRefresh, posted once); it
    // comes at once if the last one ended kMinRefreshGapMs ago, else at the
    // kRefreshTimer: whatever the event rate, the control is changed and
    // painted at most about ten times a second. When the control is slow to
    // take the changes (a large open tree under Wine), the gap grows to twice
    // what the last refresh took, so that events keep at least two thirds
    // of the time and each refresh carries more of them, net.
    static constexpr UINT kRefresh = WM_APP + 0x31;
    static constexpr UINT_PTR kRefreshTimer = 0x31;
    static constexpr DWORD kMinRefreshGapMs = 100;
    void ScheduleRefresh();
    void RefreshWhenDue();
    void Refresh();

    CWinTreeCtrl m_control;
    CDeferredTreeCtrl m_tree{&m_control, [this] { ScheduleRefresh(); }};
    bool m_bRefreshPosted = false;
    ULONGLONG m_qwLastRefresh = 0;
    DWORD m_dwRefreshMs = 0;
    CViewHost* m_pHost = nullptr;
};

// Trunk lines (CO), the left pane. It also asks about a failed start-up.
class CCoView : public CLineView {
public:
    void OnInitialUpdate() override;

protected:
    UINT GetLineMenuId() const override;
    UINT GetCallMenuId() const override;
    void ClearCalls(CTapiMonitor& monitor) override;
    void RegisterTree(CTapiMonitor& monitor, CTreeCtrl* pTree) override;
    void FillTree(CTapiMonitor& monitor) override;
    void ShowLineInfo(CTapiMonitor& monitor, HTREEITEM hItem) override;
    void ShowCallInfo(CTapiMonitor& monitor, HTREEITEM hItem) override;
};

// Extensions (EXT), the middle pane; also places, answers and drops calls.
class CExtView : public CLineView {
public:
    BOOL OnCommand(UINT nId) override;

protected:
    UINT GetLineMenuId() const override;
    UINT GetCallMenuId() const override;
    void ClearCalls(CTapiMonitor& monitor) override;
    void RegisterTree(CTapiMonitor& monitor, CTreeCtrl* pTree) override;
    void FillTree(CTapiMonitor& monitor) override;
    void ShowLineInfo(CTapiMonitor& monitor, HTREEITEM hItem) override;
    void ShowCallInfo(CTapiMonitor& monitor, HTREEITEM hItem) override;
};

// Every other line (ETC), the right pane.
class CEtcView : public CLineView {
protected:
    UINT GetLineMenuId() const override;
    UINT GetCallMenuId() const override;
    void ClearCalls(CTapiMonitor& monitor) override;
    void RegisterTree(CTapiMonitor& monitor, CTreeCtrl* pTree) override;
    void FillTree(CTapiMonitor& monitor) override;
    void ShowLineInfo(CTapiMonitor& monitor, HTREEITEM hItem) override;
    void ShowCallInfo(CTapiMonitor& monitor, HTREEITEM hItem) override;
};
