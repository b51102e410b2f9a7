// The operations the monitor asks of a tree control, and nothing more. The
// Windows views implement it over a SysTreeView32 control; CMemoryTreeCtrl
// is a plain in-memory model of it for tests and headless use.
#pragma once

#include <string>

#include "platform/WinTypes.h"

class CTreeCtrl {
public:
    virtual ~CTreeCtrl() = default;

    // Appends a child with the text (item data 0) as the last child of
    // hParent (TVI_ROOT: the top level); returns it, or null on failure.
    virtual HTREEITEM InsertItem(const std::string& strText, HTREEITEM hParent = TVI_ROOT) = 0;
    // The same with its data, and open from the start (as if Expand
    // (TVE_EXPAND) followed) when bOpen: a control may do it in one step.
    virtual HTREEITEM InsertItemAs(const std::string& strText, HTREEITEM hParent, DWORD_PTR dwData, bool bOpen) {
        const HTREEITEM hItem = InsertItem(strText, hParent);
        if (hItem != nullptr && dwData != 0) SetItemData(hItem, dwData);
        if (hItem != nullptr && bOpen) Expand(hItem, TVE_EXPAND);
        return hItem;
    }
    virtual BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData) = 0;
    // 0 for items that were never given data.
    virtual DWORD_PTR GetItemData(HTREEITEM hItem) const = 0;
    virtual BOOL SetItemText(HTREEITEM hItem, const std::string& strText) = 0;
    // Where it is cheaper for a control, puts an open copy of a childless
    // item (its text, data and state) in its place, and returns it; null
    // where it does not, and the caller opens the item with Expand.
    virtual HTREEITEM ReplaceOpened(HTREEITEM /*hItem*/) { return nullptr; }
    virtual std::string GetItemText(HTREEITEM hItem) const = 0;
    virtual BOOL ItemHasChildren(HTREEITEM hItem) const = 0;
    // TVGN_CHILD, TVGN_NEXT, TVGN_PARENT, TVGN_ROOT, TVGN_CARET; null when none.
    virtual HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const = 0;
    // Makes the item the selected one (TVGN_CARET).
    virtual BOOL SelectItem(HTREEITEM hItem) = 0;
    // The item under a client point, or null.
    virtual HTREEITEM HitTest(int x, int y) const = 0;
    // TVE_EXPAND shows the item's children.
    virtual BOOL Expand(HTREEITEM hItem, UINT nCode) = 0;
    // Scrolls the item into view, expanding its parents.
    virtual BOOL EnsureVisible(HTREEITEM hItem) = 0;
    // Orders the item's children by text without regard to case; not recursive.
    virtual BOOL SortChildren(HTREEITEM hItem) = 0;
    // Deletes the item with its subtree; TVI_ROOT empties the tree.
    virtual BOOL DeleteItem(HTREEITEM hItem) = 0;
    virtual UINT GetCount() const = 0;

    // Shorthands for GetNextItem.
    HTREEITEM GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
};

// A hash table keeps the buckets of its largest size: after a burst of calls
// that is ten times what the lines need. Given back once it holds less than
// a quarter of them (so at most once per fourfold drop).
template <class Table>
void ReleaseSpareBuckets(Table& table) {
    if (table.bucket_count() > 64 && table.size() < table.bucket_count() / 4) table.rehash(0);
}
