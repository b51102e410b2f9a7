// CMemoryTreeCtrl: the tree control as a plain in-memory model, for tests and
// headless use. It keeps what a window would show as state a caller can read:
// which items are expanded, which were scrolled into view, which one is
// selected, and which item sits on which row of the display.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "monitor/TreeCtrl.h"

class CMemoryTreeCtrl : public CTreeCtrl {
public:
    // Height of one display row in client pixels, for HitTest.
    static constexpr int kRowHeight = 16;

    CMemoryTreeCtrl() = default;
    CMemoryTreeCtrl(const CMemoryTreeCtrl&) = delete;
    CMemoryTreeCtrl& operator=(const CMemoryTreeCtrl&) = delete;

    HTREEITEM InsertItem(const std::string& strText, HTREEITEM hParent = TVI_ROOT) override;
    BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData) override;
    DWORD_PTR GetItemData(HTREEITEM hItem) const override;
    BOOL SetItemText(HTREEITEM hItem, const std::string& strText) override;
    std::string GetItemText(HTREEITEM hItem) const override;
    BOOL ItemHasChildren(HTREEITEM hItem) const override;
    HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const override;
    BOOL SelectItem(HTREEITEM hItem) override;
    // Rows are counted from 0 at the top of the client area, kRowHeight pixels
    // each, over the items a user would see (roots, and the children of
    // expanded items whose ancestors are all expanded).
    HTREEITEM HitTest(int x, int y) const override;
    // TVE_EXPAND, TVE_COLLAPSE, or both bits to toggle.
    BOOL Expand(HTREEITEM hItem, UINT nCode) override;
    BOOL EnsureVisible(HTREEITEM hItem) override;
    BOOL SortChildren(HTREEITEM hItem) override;
    BOOL DeleteItem(HTREEITEM hItem) override;
    UINT GetCount() const override;

    // --- Recorded state, for whoever inspects the model ---------------------
    BOOL IsItem(HTREEITEM hItem) const { return Find(hItem) != nullptr; }
    BOOL IsExpanded(HTREEITEM hItem) const;
    // TRUE once EnsureVisible was asked for the item.
    BOOL WasMadeVisible(HTREEITEM hItem) const;
    // The texts of the item's children, in order (TVI_ROOT: the top level).
    std::vector<std::string> GetChildTexts(HTREEITEM hParent) const;
    // The visible items, top row first.
    std::vector<HTREEITEM> GetVisibleItems() const;

private:
    using Id = std::uintptr_t;

    struct Node {
        std::string strText;
        DWORD_PTR dwData = 0;
        Id parent = 0;
        Id firstChild = 0;
        Id lastChild = 0;
        Id prev = 0;
        Id next = 0;
        bool bExpanded = false;
        bool bMadeVisible = false;
    };

    static HTREEITEM ToHandle(Id id) { return reinterpret_cast<HTREEITEM>(id); }
    static Id ToId(HTREEITEM hItem) { return reinterpret_cast<Id>(hItem); }
    static bool IsTopLevel(HTREEITEM hItem) { return hItem == nullptr || hItem == TVI_ROOT; }

    Node* Find(HTREEITEM hItem);
    const Node* Find(HTREEITEM hItem) const;
    Id NewId();
    void Unlink(Node& node);
    void EraseSubtree(Id id);

    std::unordered_map<Id, Node> m_nodes;
    // Top-level items, linked like the children of an invisible root.
    Id m_firstRoot = 0;
    Id m_lastRoot = 0;
    Id m_selected = 0;
    // Handles are never reused and are unique across all trees of the
    // process, as the control's are: a deleted item's handle stays invalid,
    // and one tree never answers for another tree's item.
    static std::atomic<Id> s_nextId;
};
