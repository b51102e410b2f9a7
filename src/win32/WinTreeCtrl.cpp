#include "win32/WinTreeCtrl.h"

#include <algorithm>
#include <vector>

LRESULT CWinTreeCtrl::Send(UINT uMsg, WPARAM wParam, LPARAM lParam) const {
    return m_pfnControl != nullptr ? CallWindowProcA(m_pfnControl, m_hWnd, uMsg, wParam, lParam)
                                   : SendMessageA(m_hWnd, uMsg, wParam, lParam);
}

void CWinTreeCtrl::BeginChanges() const {
    if (m_bChanging || m_hWnd == nullptr) return;
    m_bChanging = true;
    Send(WM_SETREDRAW, FALSE, 0);
}

void CWinTreeCtrl::EndChanges() const {
    if (!m_bChanging) return;
    m_bChanging = false;
    if (m_hWnd == nullptr) return;
    Send(WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hWnd, nullptr, FALSE);
    if (m_hPendingVisible != nullptr) {
        const HTREEITEM hItem = m_hPendingVisible;
        m_hPendingVisible = nullptr;
        Send(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem));
    }
}

HTREEITEM CWinTreeCtrl::InsertItem(const std::string& strText, HTREEITEM hParent) {
    return Insert(strText, hParent, TVI_LAST, 0, 0);
}

HTREEITEM CWinTreeCtrl::InsertItemAs(const std::string& strText, HTREEITEM hParent, DWORD_PTR dwData, bool bOpen) {
    return Insert(strText, hParent, TVI_LAST, dwData, bOpen ? TVIS_EXPANDED : 0);
}

HTREEITEM CWinTreeCtrl::Insert(const std::string& strText, HTREEITEM hParent, HTREEITEM hAfter, DWORD_PTR dwData,
                               UINT nState) {
    if (m_hWnd == nullptr) return nullptr;
    TVINSERTSTRUCTA insert{};
    insert.hParent = hParent;
    insert.hInsertAfter = hAfter;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | (nState != 0 ? TVIF_STATE : 0);
    insert.item.lParam = static_cast<LPARAM>(dwData);
    insert.item.state = insert.item.stateMask = nState;
    insert.item.pszText = LPSTR_TEXTCALLBACKA;
    BeginChanges();
    const auto hItem = reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (hItem != nullptr) m_texts[hItem] = strText;
    return hItem;
}

BOOL CWinTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    TVITEMA item{};
    item.mask = TVIF_PARAM;
    item.hItem = hItem;
    item.lParam = static_cast<LPARAM>(dwData);
    return Send(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

DWORD_PTR CWinTreeCtrl::GetItemData(HTREEITEM hItem) const {
    if (m_hWnd == nullptr || hItem == nullptr) return 0;
    TVITEMA item{};
    item.mask = TVIF_PARAM;
    item.hItem = hItem;
    if (!Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return static_cast<DWORD_PTR>(item.lParam);
}

BOOL CWinTreeCtrl::SetItemText(HTREEITEM hItem, const std::string& strText) {
    const auto it = m_texts.find(hItem);
    if (m_hWnd == nullptr || it == m_texts.end()) return FALSE;
    if (it->second == strText) return TRUE;
    // Shown from the next painting on, which the end of the run brings.
    BeginChanges();
    it->second = strText;
    return TRUE;
}

std::string CWinTreeCtrl::GetItemText(HTREEITEM hItem) const {
    const auto it = m_texts.find(hItem);
    return it != m_texts.end() ? it->second : std::string();
}

LRESULT CWinTreeCtrl::OnNotify(const NMHDR& header) const {
    if (header.code == TVN_GETDISPINFOA) {
        const TVITEMA& item = reinterpret_cast<const NMTVDISPINFOA&>(header).item;
        if ((item.mask & TVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0) {
            const std::string strText = GetItemText(item.hItem);
            const size_t cch = std::min(strText.size(), static_cast<size_t>(item.cchTextMax) - 1);
            std::copy_n(strText.data(), cch, item.pszText);
            item.pszText[cch] = '\0';
        }
    } else if (header.code == TVN_GETDISPINFOW) {
        const TVITEMW& item = reinterpret_cast<const NMTVDISPINFOW&>(header).item;
        if ((item.mask & TVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0) {
            const std::string strText = GetItemText(item.hItem);
            const int cch = MultiByteToWideChar(CP_ACP, 0, strText.data(), static_cast<int>(strText.size()),
                                                item.pszText, item.cchTextMax - 1);
            item.pszText[cch] = L'\0';
        }
    }
    return 0;
}

BOOL CWinTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
    return GetNextItem(hItem, TVGN_CHILD) != nullptr;
}

HTREEITEM CWinTreeCtrl::GetNextItem(HTREEITEM hItem, UINT nCode) const {
    if (m_hWnd == nullptr) return nullptr;
    return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
}

BOOL CWinTreeCtrl::SelectItem(HTREEITEM hItem) {
    if (m_hWnd == nullptr) return FALSE;
    EndChanges();
    return Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem)) != 0;
}

HTREEITEM CWinTreeCtrl::HitTest(int x, int y) const {
    if (m_hWnd == nullptr) return nullptr;
    EndChanges();
    TVHITTESTINFO info{};
    info.pt.x = x;
    info.pt.y = y;
    return reinterpret_cast<HTREEITEM>(Send(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
}

BOOL CWinTreeCtrl::Expand(HTREEITEM hItem, UINT nCode) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    // Opening what is open already (a line for its next call) would still
    // have the control lay the tree out again.
    if (nCode == TVE_EXPAND &&
        (Send(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(hItem), TVIS_EXPANDED) & TVIS_EXPANDED) != 0) {
        return TRUE;
    }
    BeginChanges();
    return Send(TVM_EXPAND, nCode, reinterpret_cast<LPARAM>(hItem)) != 0;
}

HTREEITEM CWinTreeCtrl::ReplaceOpened(HTREEITEM hItem) {
    if (m_hWnd == nullptr || hItem == nullptr) return nullptr;
    TVITEMA item{};
    item.mask = TVIF_PARAM | TVIF_STATE;
    item.hItem = hItem;
    constexpr UINT kKeptStates = TVIS_EXPANDED | TVIS_BOLD | TVIS_CUT;
    item.stateMask = kKeptStates;
    const auto it = m_texts.find(hItem);
    if (it == m_texts.end() || !Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    // What the user holds (the selection, the top row) stays where it is.
    if ((item.state & TVIS_EXPANDED) != 0 || GetNextItem(hItem, TVGN_CHILD) != nullptr ||
        GetNextItem(nullptr, TVGN_CARET) == hItem || GetNextItem(nullptr, TVGN_FIRSTVISIBLE) == hItem) {
        return nullptr;
    }
    const HTREEITEM hParent = GetNextItem(hItem, TVGN_PARENT);
    const HTREEITEM hPrevious = GetNextItem(hItem, TVGN_PREVIOUS);
    const std::string strText = it->second;
    const HTREEITEM hNew =
        Insert(strText, hParent != nullptr ? hParent : TVI_ROOT, hPrevious != nullptr ? hPrevious : TVI_FIRST,
               static_cast<DWORD_PTR>(item.lParam), (item.state & kKeptStates) | TVIS_EXPANDED);
    if (hNew == nullptr) return nullptr;
    if (m_hPendingVisible == hItem) m_hPendingVisible = hNew;
    DeleteItem(hItem);
    return hNew;
}

BOOL CWinTreeCtrl::EnsureVisible(HTREEITEM hItem) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    // Scrolled to when the run of changes ends: in view from the next
    // painting on.
    BeginChanges();
    m_hPendingVisible = hItem;
    return TRUE;
}

BOOL CWinTreeCtrl::SortChildren(HTREEITEM hItem) {
    if (m_hWnd == nullptr) return FALSE;
    BeginChanges();
    return Send(TVM_SORTCHILDREN, FALSE, reinterpret_cast<LPARAM>(hItem)) != 0;
}

BOOL CWinTreeCtrl::DeleteItem(HTREEITEM hItem) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    // The item waiting to come into view may go with this one: its place
    // (the deleted item's parent) comes into view instead.
    if (m_hPendingVisible != nullptr) {
        for (HTREEITEM h = m_hPendingVisible; h != nullptr; h = GetParentItem(h)) {
            if (h == hItem || hItem == TVI_ROOT) {
                m_hPendingVisible = hItem == TVI_ROOT ? nullptr : GetParentItem(hItem);
                break;
            }
        }
    }
    BeginChanges();
    std::vector<HTREEITEM> subtree;
    if (hItem != TVI_ROOT) Collect(hItem, subtree);
    if (!Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(hItem))) return FALSE;
    if (hItem == TVI_ROOT) m_texts.clear();
    for (HTREEITEM h : subtree) m_texts.erase(h);
    ReleaseSpareBuckets(m_texts);
    return TRUE;
}

void CWinTreeCtrl::Collect(HTREEITEM hItem, std::vector<HTREEITEM>& subtree) const {
    subtree.push_back(hItem);
    for (HTREEITEM hChild = GetNextItem(hItem, TVGN_CHILD); hChild != nullptr; hChild = GetNextItem(hChild, TVGN_NEXT))
        Collect(hChild, subtree);
}

UINT CWinTreeCtrl::GetCount() const {
    if (m_hWnd == nullptr) return 0;
    return static_cast<UINT>(Send(TVM_GETCOUNT, 0, 0));
}
