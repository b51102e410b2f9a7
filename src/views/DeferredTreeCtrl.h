// CDeferredTreeCtrl: the tree the monitor changes at the rate of events, shown
// in a real tree control at the rate of the eye. Every change lands at once
// in an in-memory tree, which answers every question about the items; the
// shown control learns only the net effect, at Flush. A call that comes and
// goes between two flushes never reaches the control, and a detail line
// changed ten times is set there once. The shown control keeps what belongs
// to the user: which item is selected, what is open, where it is scrolled.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "views/MemoryTreeCtrl.h"

class CDeferredTreeCtrl : public CTreeCtrl {
public:
    // pShown: the control that shows the tree (may be null: nothing shown).
    // onChange runs at the first change after a flush, to have one come.
    explicit CDeferredTreeCtrl(CTreeCtrl* pShown = nullptr, std::function<void()> onChange = nullptr)
        : m_pShown(pShown), m_onChange(std::move(onChange)) {}
    CDeferredTreeCtrl(const CDeferredTreeCtrl&) = delete;
    CDeferredTreeCtrl& operator=(const CDeferredTreeCtrl&) = delete;

    // Following events (the default), a change brings its item into view and
    // opens its line and call. Not following, Expand(TVE_EXPAND) and
    // EnsureVisible do nothing, so the tree stays where the user put it.
    void SetFollowEvents(bool bFollow) { m_bFollowEvents = bFollow; }
    bool GetFollowEvents() const { return m_bFollowEvents; }

    // Brings the shown control up to date: deletions, then new items in their
    // order, changed texts, the items to open, and the last item to bring into
    // view. Does nothing when nothing changed.
    void Flush();
    bool HasChanges() const { return m_bChanged; }
    // The shown item of one of this tree's items, or null (not shown yet).
    HTREEITEM ShownItem(HTREEITEM hItem) const;

    HTREEITEM InsertItem(const std::string& strText, HTREEITEM hParent = TVI_ROOT) override;
    // The shown control carries the data too, for whoever reads it there.
    BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData) override;
    DWORD_PTR GetItemData(HTREEITEM hItem) const override { return m_items.GetItemData(hItem); }
    BOOL SetItemText(HTREEITEM hItem, const std::string& strText) override;
    std::string GetItemText(HTREEITEM hItem) const override { return m_items.GetItemText(hItem); }
    BOOL ItemHasChildren(HTREEITEM hItem) const override { return m_items.ItemHasChildren(hItem); }
    // TVGN_CARET asks the shown control: the user selects there.
    HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const override;
    // These two flush first: they are about what the user sees.
    BOOL SelectItem(HTREEITEM hItem) override;
    HTREEITEM HitTest(int x, int y) const override;
    BOOL Expand(HTREEITEM hItem, UINT nCode) override;
    BOOL EnsureVisible(HTREEITEM hItem) override;
    BOOL SortChildren(HTREEITEM hItem) override;
    BOOL DeleteItem(HTREEITEM hItem) override;
    UINT GetCount() const override { return m_items.GetCount(); }

private:
    void Changed();
    // Forgets the shown items of the item's subtree; returns the item's own.
    HTREEITEM Unshow(HTREEITEM hItem);
    void ShowChildren(HTREEITEM hParent, HTREEITEM hShownParent, const std::unordered_set<HTREEITEM>& open);

    CMemoryTreeCtrl m_items;
    CTreeCtrl* m_pShown;
    std::function<void()> m_onChange;
    bool m_bFollowEvents = true;
    mutable bool m_bFlushing = false;
    bool m_bChanged = false;
    // Item to shown item, and back.
    std::unordered_map<HTREEITEM, HTREEITEM> m_shown;
    std::unordered_map<HTREEITEM, HTREEITEM> m_itemOfShown;
    // What the next flush does, in this order.
    std::vector<HTREEITEM> m_shownToDelete;
    std::vector<HTREEITEM> m_parentsWithNew;  // TVI_ROOT for the top level
    std::unordered_set<HTREEITEM> m_parentsWithNewSet;
    std::unordered_set<HTREEITEM> m_newTexts;
    std::vector<std::pair<HTREEITEM, UINT>> m_expands;
    HTREEITEM m_hVisible = nullptr;
};
