// The tree operations the monitor asks for, sent as TVM_ messages to a
// SysTreeView32 control. The control owns the items; this object only talks
// to it, and does nothing once the control is gone.
#pragma once

#include "views/TreeCtrl.h"

class CWinTreeCtrl : public CTreeCtrl {
public:
    CWinTreeCtrl() = default;
    explicit CWinTreeCtrl(HWND hWnd) : m_hWnd(hWnd) {}

    void SetHwnd(HWND hWnd) { m_hWnd = hWnd; }
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

private:
    HWND m_hWnd = nullptr;
    bool m_bFollowEvents = true;
};
