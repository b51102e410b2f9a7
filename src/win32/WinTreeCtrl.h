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
    explicit CWinTreeCtrl(HWND hWnd) : m_hWnd(hWnd) {}

    void SetHwnd(HWND hWnd) {
        m_hWnd = hWnd;
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
    // paintings), and for every insertion, deletion, expansion or new text
    // in the open part of the tree the control sets its scroll bars, which
    // the window system draws at once, and repaints. So the first change of
    // a run takes the window out of drawing (the default WM_SETREDRAW; the
    // control keeps its layout up to date) and posts kEndChanges to it; the
    // run ends there, or earlier at anything else that reaches the window:
    // painting, input, another program's question (the view's window
    // procedure calls EndChanges for every message not sent from here), and
    // before a hit test or a selection. The window is then drawn again as a
    // whole, and the item last brought into view during the run is scrolled
    // to, once.
    static constexpr UINT kEndChanges = WM_APP + 0x31;
    void EndChanges() const;
    // Whether the message the control is handling now was sent from here.
    bool IsSending() const { return m_nSending > 0; }

private:
    void BeginChanges() const;
    LRESULT Send(UINT uMsg, WPARAM wParam, LPARAM lParam) const;

    HWND m_hWnd = nullptr;
    bool m_bFollowEvents = true;
    mutable bool m_bChanging = false;
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
