#include "views/win/WinTreeCtrl.h"

#include <vector>

namespace {

// Long enough for every label and detail line this program makes; a longer
// text is cut here, as the control itself would show it.
constexpr int kMaxItemText = 1024;

}  // namespace

HTREEITEM CWinTreeCtrl::InsertItem(const std::string& strText, HTREEITEM hParent) {
    if (m_hWnd == nullptr) return nullptr;
    TVINSERTSTRUCTA insert{};
    insert.hParent = hParent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<LPSTR>(strText.c_str());
    return reinterpret_cast<HTREEITEM>(SendMessageA(m_hWnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

BOOL CWinTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    TVITEMA item{};
    item.mask = TVIF_PARAM;
    item.hItem = hItem;
    item.lParam = static_cast<LPARAM>(dwData);
    return SendMessageA(m_hWnd, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

DWORD_PTR CWinTreeCtrl::GetItemData(HTREEITEM hItem) const {
    if (m_hWnd == nullptr || hItem == nullptr) return 0;
    TVITEMA item{};
    item.mask = TVIF_PARAM;
    item.hItem = hItem;
    if (!SendMessageA(m_hWnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return static_cast<DWORD_PTR>(item.lParam);
}

BOOL CWinTreeCtrl::SetItemText(HTREEITEM hItem, const std::string& strText) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    // Setting a text makes the control measure it again, and an item in the
    // expanded part of the tree then also has the control walk every such
    // item for its scroll bars: costly in a tree of many open calls. Most
    // refreshes of a call's details leave a text as it was, so those are
    // answered here. (An item that is gone reads as empty.)
    if (!strText.empty() && GetItemText(hItem) == strText) return TRUE;
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = const_cast<LPSTR>(strText.c_str());
    return SendMessageA(m_hWnd, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

std::string CWinTreeCtrl::GetItemText(HTREEITEM hItem) const {
    if (m_hWnd == nullptr || hItem == nullptr) return std::string();
    std::vector<char> buffer(kMaxItemText, '\0');
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = buffer.data();
    item.cchTextMax = kMaxItemText;
    if (!SendMessageA(m_hWnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return std::string();
    // The control may point pszText at its own copy instead of filling ours.
    const char* pszText = item.pszText != nullptr ? item.pszText : buffer.data();
    buffer.back() = '\0';
    return std::string(pszText);
}

BOOL CWinTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
    return GetNextItem(hItem, TVGN_CHILD) != nullptr;
}

HTREEITEM CWinTreeCtrl::GetNextItem(HTREEITEM hItem, UINT nCode) const {
    if (m_hWnd == nullptr) return nullptr;
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(m_hWnd, TVM_GETNEXTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
}

BOOL CWinTreeCtrl::SelectItem(HTREEITEM hItem) {
    if (m_hWnd == nullptr) return FALSE;
    return SendMessageA(m_hWnd, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem)) != 0;
}

HTREEITEM CWinTreeCtrl::HitTest(int x, int y) const {
    if (m_hWnd == nullptr) return nullptr;
    TVHITTESTINFO info{};
    info.pt.x = x;
    info.pt.y = y;
    return reinterpret_cast<HTREEITEM>(SendMessageA(m_hWnd, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
}

BOOL CWinTreeCtrl::Expand(HTREEITEM hItem, UINT nCode) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    if (!m_bFollowEvents && (nCode & (TVE_COLLAPSE | TVE_EXPAND)) == TVE_EXPAND) return TRUE;
    return SendMessageA(m_hWnd, TVM_EXPAND, nCode, reinterpret_cast<LPARAM>(hItem)) != 0;
}

BOOL CWinTreeCtrl::EnsureVisible(HTREEITEM hItem) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    if (!m_bFollowEvents) return TRUE;
    SendMessageA(m_hWnd, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem));
    // The message answers whether it had to expand something; either way the
    // item is in view now.
    return TRUE;
}

BOOL CWinTreeCtrl::SortChildren(HTREEITEM hItem) {
    if (m_hWnd == nullptr) return FALSE;
    return SendMessageA(m_hWnd, TVM_SORTCHILDREN, FALSE, reinterpret_cast<LPARAM>(hItem)) != 0;
}

BOOL CWinTreeCtrl::DeleteItem(HTREEITEM hItem) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    return SendMessageA(m_hWnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(hItem)) != 0;
}

UINT CWinTreeCtrl::GetCount() const {
    if (m_hWnd == nullptr) return 0;
    return static_cast<UINT>(SendMessageA(m_hWnd, TVM_GETCOUNT, 0, 0));
}
