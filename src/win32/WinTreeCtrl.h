// The tree operations the monitor asks for, sent as TVM_ messages to a
// SysTreeView32 control. The control owns the items; this object only talks
// to it, and does nothing once the control is gone. Every message costs a
// trip through the window system, so the views do not change the control at
// each event: they show a tree kept in memory and bring the control up to
// date in one run of changes, about ten times a second.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

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

    HTREEITEM InsertItem(const std::string& strText, HTREEITEM hParent = TVI_ROOT) override;
    // Data and open state go with the insertion: no expanding (no
    // notifications, no layout) and no second change for a new item.
    HTREEITEM InsertItemAs(const std::string& strText, HTREEITEM hParent, DWORD_PTR dwData, bool bOpen) override;
    BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData) override;
    DWORD_PTR GetItemData(HTREEITEM hItem) const override;
    // Texts are kept here and the control asks for them when it draws
    // (LPSTR_TEXTCALLBACK): a changed text costs the control nothing until
    // it is painted. Under Wine a text set in the control is measured at
    // once, scroll bars and all, whether or not the control draws.
    BOOL SetItemText(HTREEITEM hItem, const std::string& strText) override;
    std::string GetItemText(HTREEITEM hItem) const override;
    BOOL ItemHasChildren(HTREEITEM hItem) const override;
    HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const override;
    BOOL SelectItem(HTREEITEM hItem) override;
    HTREEITEM HitTest(int x, int y) const override;
    BOOL Expand(HTREEITEM hItem, UINT nCode) override;
    // Under Wine the control lays the tree out at once when an item opens,
    // scroll bars and all (about a hundred requests to the window system),
    // whether or not it draws; inserting costs one or two. A childless,
    // closed item that is neither selected nor the top row is replaced by
    // an open one in its place.
    HTREEITEM ReplaceOpened(HTREEITEM hItem) override;
    BOOL EnsureVisible(HTREEITEM hItem) override;
    BOOL SortChildren(HTREEITEM hItem) override;
    BOOL DeleteItem(HTREEITEM hItem) override;
    UINT GetCount() const override;

    // The first change of a run turns the control's drawing off (its own
    // WM_SETREDRAW: it then neither lays the tree out nor invalidates
    // anything per change, which in a large open tree means every item below
    // an inserted or removed one). EndChanges turns it on again: the control
    // lays the tree out once, is painted as a whole, and scrolls once to the
    // item last brought into view during the run. A selection or a hit test
    // ends the run first.
    void EndChanges() const;
    // The control's notifications, which go to its parent: this answers
    // TVN_GETDISPINFO with the item's text.
    LRESULT OnNotify(const NMHDR& header) const;

private:
    void BeginChanges() const;
    HTREEITEM Insert(const std::string& strText, HTREEITEM hParent, HTREEITEM hAfter, DWORD_PTR dwData, UINT nState);
    LRESULT Send(UINT uMsg, WPARAM wParam, LPARAM lParam) const;
    void Collect(HTREEITEM hItem, std::vector<HTREEITEM>& subtree) const;

    HWND m_hWnd = nullptr;
    WNDPROC m_pfnControl = nullptr;
    mutable bool m_bChanging = false;
    mutable HTREEITEM m_hPendingVisible = nullptr;
    std::unordered_map<HTREEITEM, std::string> m_texts;
};
