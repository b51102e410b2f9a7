// The tree operations the monitor asks for, sent as TVM_ messages to a
// SysTreeView32 control. The control owns the items; this object only talks
// to it, and does nothing once the control is gone.
#pragma once

#include <string>
#include <unordered_map>

#include "monitor/TreeCtrl.h"

class CWinTreeCtrl : public CTreeCtrl {
public:
    CWinTreeCtrl() = default;
    explicit CWinTreeCtrl(HWND hWnd) { SetHwnd(hWnd); }

    void SetHwnd(HWND hWnd) {
        m_hWnd = hWnd;
        // Our own messages go straight to the control's procedure: through
        // the window's subclass chain each one costs a lookup of the chain
        // in the window system, and none of them is meant for the subclass.
        m_pfnControl = hWnd != nullptr ? reinterpret_cast<WNDPROC>(GetClassLongPtrA(hWnd, GCLP_WNDPROC)) : nullptr;
        m_bChanging = false;
        m_hPendingVisible = nullptr;
        m_texts.clear();
    }
    HWND GetHwnd() const { return m_hWnd; }

    // Following events (the default), a change brings its item into view and
    // opens its line and call. Not following, Expand(TVE_EXPAND) and
    // EnsureVisible do nothing, so the tree stays where the user put it.
    void SetFollowEvents(bool bFollow) { m_bFollowEvents = bFollow; }
    bool GetFollowEvents() const { return m_bFollowEvents; }

    HTREEITEM InsertItem(const std::string& strText, HTREEITEM hParent = TVI_ROOT) override;
    BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData) override;
    DWORD_PTR GetItemData(HTREEITEM hItem) const override;
    BOOL SetItemText(HTREEITEM hItem, const std::string& strText) override;
    std::string GetItemText(HTREEITEM hItem) const override;
    BOOL ItemHasChildren(HTREEITEM hItem) const override;
    HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const override;
    BOOL SelectItem(HTREEITEM hItem) override;
    HTREEITEM HitTest(int x, int y) const override;
    BOOL Expand(HTREEITEM hItem, UINT nCode) override;
    BOOL EnsureVisible(HTREEITEM hItem) override;
    BOOL SortChildren(HTREEITEM hItem) override;
    BOOL DeleteItem(HTREEITEM hItem) override;
    UINT GetCount() const override;

    // Changes come in runs (a busy PBX sends hundreds of events between two
    // paintings). The first change of a run turns the control's drawing off
    // (its own WM_SETREDRAW: it then neither lays the tree out nor
    // invalidates anything per change) and posts kEndChanges to the window.
    // The run ends there, at most every kMinRunGapMs (later ends wait for
    // the kEndChangesTimer), so that the tree is laid out and repainted at
    // most about ten times a second whatever the event rate; or it ends at
    // once at anything else that reaches the window: painting, input,
    // another program's question (the view's window procedure calls
    // EndChanges for every other message not sent from here), a refresh of
    // the views, and before a hit test or a selection. The control is then
    // laid out and drawn again as a whole, and the item last brought into
    // view during the run is scrolled to, once.
    static constexpr UINT kEndChanges = WM_APP + 0x31;
    static constexpr UINT_PTR kEndChangesTimer = 0x31;
    static constexpr DWORD kMinRunGapMs = 100;
    void EndChanges() const;
    // kEndChanges: the run ends now if the last one ended kMinRunGapMs ago,
    // else when the timer fires.
    void EndChangesWhenDue() const;
    // Whether the message the control is handling now was sent from here.
    bool IsSending() const { return m_nSending > 0; }

private:
    void BeginChanges() const;
    LRESULT Send(UINT uMsg, WPARAM wParam, LPARAM lParam) const;

    HWND m_hWnd = nullptr;
    WNDPROC m_pfnControl = nullptr;
    bool m_bFollowEvents = true;
    mutable bool m_bChanging = false;
    mutable ULONGLONG m_qwLastEnd = 0;
    mutable HTREEITEM m_hPendingVisible = nullptr;
    mutable int m_nSending = 0;
    // The text and parent of every item this object inserted, while it lives:
    // a text that is already there is not set again, without asking the
    // control (every message to it costs a trip through the window system).
    struct CKnownItem {
        std::string strText;
        HTREEITEM hParent = nullptr;
    };
    std::unordered_map<HTREEITEM, CKnownItem> m_texts;
    void ForgetSubtree(HTREEITEM hItem);
};
