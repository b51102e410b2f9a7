#include "views/DeferredTreeCtrl.h"

namespace {

bool IsTopLevel(HTREEITEM hItem) {
    return hItem == nullptr || hItem == TVI_ROOT;
}

}  // namespace

void CDeferredTreeCtrl::Changed() {
    if (m_bChanged) return;
    m_bChanged = true;
    if (m_onChange) m_onChange();
}

HTREEITEM CDeferredTreeCtrl::ShownItem(HTREEITEM hItem) const {
    const auto it = m_shown.find(hItem);
    return it == m_shown.end() ? nullptr : it->second;
}

HTREEITEM CDeferredTreeCtrl::Unshow(HTREEITEM hItem) {
    for (HTREEITEM hChild = m_items.GetChildItem(hItem); hChild != nullptr;
         hChild = m_items.GetNextSiblingItem(hChild)) {
        Unshow(hChild);
    }
    const auto it = m_shown.find(hItem);
    if (it == m_shown.end()) return nullptr;
    const HTREEITEM hShown = it->second;
    m_itemOfShown.erase(hShown);
    m_shown.erase(it);
    return hShown;
}

HTREEITEM CDeferredTreeCtrl::InsertItem(const std::string& strText, HTREEITEM hParent) {
    const HTREEITEM hItem = m_items.InsertItem(strText, hParent);
    if (hItem == nullptr) return nullptr;
    // A parent not shown yet comes with all of its children when it does.
    const HTREEITEM hKey = IsTopLevel(hParent) ? TVI_ROOT : hParent;
    if ((hKey == TVI_ROOT || ShownItem(hKey) != nullptr) && m_parentsWithNewSet.insert(hKey).second) {
        m_parentsWithNew.push_back(hKey);
    }
    Changed();
    return hItem;
}

BOOL CDeferredTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
    if (!m_items.SetItemData(hItem, dwData)) return FALSE;
    if (const HTREEITEM hShown = ShownItem(hItem)) m_pShown->SetItemData(hShown, dwData);
    return TRUE;
}

BOOL CDeferredTreeCtrl::SetItemText(HTREEITEM hItem, const std::string& strText) {
    // Most refreshes of a call's details leave a text as it was: those are
    // no change at all.
    if (!m_items.IsItem(hItem)) return FALSE;
    if (m_items.GetItemText(hItem) == strText) return TRUE;
    m_items.SetItemText(hItem, strText);
    if (ShownItem(hItem) != nullptr) m_newTexts.insert(hItem);
    Changed();
    return TRUE;
}

HTREEITEM CDeferredTreeCtrl::GetNextItem(HTREEITEM hItem, UINT nCode) const {
    if (nCode != TVGN_CARET) return m_items.GetNextItem(hItem, nCode);
    if (m_pShown == nullptr) return nullptr;
    const auto it = m_itemOfShown.find(m_pShown->GetNextItem(nullptr, TVGN_CARET));
    return it == m_itemOfShown.end() ? nullptr : it->second;
}

BOOL CDeferredTreeCtrl::SelectItem(HTREEITEM hItem) {
    Flush();
    if (m_pShown == nullptr) return FALSE;
    if (hItem == nullptr) return m_pShown->SelectItem(nullptr);
    const HTREEITEM hShown = ShownItem(hItem);
    return hShown != nullptr && m_pShown->SelectItem(hShown);
}

HTREEITEM CDeferredTreeCtrl::HitTest(int x, int y) const {
    const_cast<CDeferredTreeCtrl*>(this)->Flush();
    if (m_pShown == nullptr) return nullptr;
    const auto it = m_itemOfShown.find(m_pShown->HitTest(x, y));
    return it == m_itemOfShown.end() ? nullptr : it->second;
}

BOOL CDeferredTreeCtrl::Expand(HTREEITEM hItem, UINT nCode) {
    if (!m_items.IsItem(hItem)) return FALSE;
    const bool bOpen = (nCode & (TVE_COLLAPSE | TVE_EXPAND)) == TVE_EXPAND;
    if (bOpen && !m_bFollowEvents) return TRUE;
    // Opening a line for each of its calls is one opening, unless something
    // else was asked of the item in between.
    if (bOpen && !m_expands.empty() && m_expands.back() == std::make_pair(hItem, nCode)) return TRUE;
    m_expands.emplace_back(hItem, nCode);
    Changed();
    return TRUE;
}

BOOL CDeferredTreeCtrl::EnsureVisible(HTREEITEM hItem) {
    if (!m_items.IsItem(hItem)) return FALSE;
    if (!m_bFollowEvents) return TRUE;
    m_hVisible = hItem;
    Changed();
    return TRUE;
}

BOOL CDeferredTreeCtrl::SortChildren(HTREEITEM hItem) {
    if (!m_items.SortChildren(hItem)) return FALSE;
    // Shown children are shown again in the new order.
    const HTREEITEM hKey = IsTopLevel(hItem) ? TVI_ROOT : hItem;
    bool bReorder = false;
    for (HTREEITEM hChild = m_items.GetChildItem(hKey); hChild != nullptr;
         hChild = m_items.GetNextSiblingItem(hChild)) {
        if (const HTREEITEM hShown = Unshow(hChild)) {
            m_shownToDelete.push_back(hShown);
            bReorder = true;
        }
    }
    if (bReorder && m_parentsWithNewSet.insert(hKey).second) m_parentsWithNew.push_back(hKey);
    if (bReorder) Changed();
    return TRUE;
}

BOOL CDeferredTreeCtrl::DeleteItem(HTREEITEM hItem) {
    if (IsTopLevel(hItem)) {
        m_items.DeleteItem(TVI_ROOT);
        m_shown.clear();
        m_itemOfShown.clear();
        m_shownToDelete.assign(1, TVI_ROOT);
        m_parentsWithNew.clear();
        m_parentsWithNewSet.clear();
        m_newTexts.clear();
        m_expands.clear();
        m_hVisible = nullptr;
        Changed();
        return TRUE;
    }
    if (!m_items.IsItem(hItem)) return FALSE;
    // The item waiting to come into view may go with this one: its place
    // (the deleted item's parent) comes into view instead.
    for (HTREEITEM h = m_hVisible; h != nullptr; h = m_items.GetParentItem(h)) {
        if (h == hItem) {
            m_hVisible = m_items.GetParentItem(hItem);
            break;
        }
    }
    if (const HTREEITEM hShown = Unshow(hItem)) m_shownToDelete.push_back(hShown);
    m_items.DeleteItem(hItem);
    Changed();
    return TRUE;
}

void CDeferredTreeCtrl::ShowChildren(HTREEITEM hParent, HTREEITEM hShownParent,
                                     const std::unordered_set<HTREEITEM>& open) {
    for (HTREEITEM hChild = m_items.GetChildItem(hParent); hChild != nullptr;
         hChild = m_items.GetNextSiblingItem(hChild)) {
        if (ShownItem(hChild) != nullptr) continue;
        const HTREEITEM hShown = m_pShown->InsertItemAs(m_items.GetItemText(hChild), hShownParent,
                                                        m_items.GetItemData(hChild), open.count(hChild) != 0);
        if (hShown == nullptr) continue;
        m_shown[hChild] = hShown;
        m_itemOfShown[hShown] = hChild;
        ShowChildren(hChild, hShown, open);
    }
}

void CDeferredTreeCtrl::Flush() {
    if (!m_bChanged || m_bFlushing) return;
    m_bFlushing = true;
    m_bChanged = false;
    // Taken out first: whatever the shown control's notifications change
    // meanwhile waits for the next flush.
    std::vector<HTREEITEM> toDelete, parents;
    std::unordered_set<HTREEITEM> texts;
    std::vector<std::pair<HTREEITEM, UINT>> expands;
    toDelete.swap(m_shownToDelete);
    parents.swap(m_parentsWithNew);
    m_parentsWithNewSet.clear();
    texts.swap(m_newTexts);
    expands.swap(m_expands);
    const HTREEITEM hVisible = m_hVisible;
    m_hVisible = nullptr;
    if (m_pShown != nullptr) {
        // In the order they were deleted: a subtree's items before its root's.
        for (HTREEITEM hShown : toDelete) m_pShown->DeleteItem(hShown);
        // An item last asked to open is shown open: a new one (a new call)
        // from its insertion, a shown one without children yet (a line and
        // its first call) by a copy in its place where the control offers it.
        std::unordered_map<HTREEITEM, UINT> lastCodes;
        for (const auto& expand : expands) lastCodes[expand.first] = expand.second;
        std::unordered_set<HTREEITEM> open;
        for (const auto& last : lastCodes) {
            if (last.second != TVE_EXPAND) continue;
            const HTREEITEM hShown = ShownItem(last.first);
            if (hShown == nullptr) {
                open.insert(last.first);
            } else if (const HTREEITEM hNow = m_pShown->ReplaceOpened(hShown)) {
                m_itemOfShown.erase(hShown);
                m_shown[last.first] = hNow;
                m_itemOfShown[hNow] = last.first;
                open.insert(last.first);
            }
        }
        for (HTREEITEM hParent : parents) {
            if (hParent == TVI_ROOT) {
                ShowChildren(TVI_ROOT, TVI_ROOT, open);
            } else if (const HTREEITEM hShownParent = ShownItem(hParent)) {
                ShowChildren(hParent, hShownParent, open);
            }
        }
        for (HTREEITEM hItem : texts) {
            if (const HTREEITEM hShown = ShownItem(hItem)) m_pShown->SetItemText(hShown, m_items.GetItemText(hItem));
        }
        for (const auto& expand : expands) {
            if (open.count(expand.first) != 0) continue;
            if (const HTREEITEM hShown = ShownItem(expand.first)) m_pShown->Expand(hShown, expand.second);
        }
        if (const HTREEITEM hShown = ShownItem(hVisible)) m_pShown->EnsureVisible(hShown);
    }
    ReleaseSpareBuckets(m_shown);
    ReleaseSpareBuckets(m_itemOfShown);
    ReleaseSpareBuckets(m_parentsWithNewSet);
    m_bFlushing = false;
}
