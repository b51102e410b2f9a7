#include "win32/WinTreeCtrl.h"

#include <algorithm>
#include <vector>

namespace {

// Long enough for every label and detail line this program makes; a longer
// text is cut here, as the control itself would show it.
constexpr int kMaxItemText = 1024;

}  // namespace

LRESULT CWinTreeCtrl::Send(UINT uMsg, WPARAM wParam, LPARAM lParam) const {
    ++m_nSending;
    const LRESULT lResult = m_pfnControl != nullptr ? CallWindowProcA(m_pfnControl, m_hWnd, uMsg, wParam, lParam)
                                                    : SendMessageA(m_hWnd, uMsg, wParam, lParam);
    --m_nSending;
    return lResult;
}

void CWinTreeCtrl::BeginChanges() const {
    if (m_bChanging || m_hWnd == nullptr) return;
    m_bChanging = true;
    // The control's own switch: while it is off, an item inserted or removed
    // in the open part of the tree no longer has the control invalidate, one
    // by one, every item below it (a trip through the window system each, a
    // thousand in a large tree). Turned on again, the control lays the tree
    // out once, measuring only what is new. The window itself stays visible,
    // so clicks still reach it.
    Send(WM_SETREDRAW, FALSE, 0);
    PostMessageA(m_hWnd, kEndChanges, 0, 0);
}

void CWinTreeCtrl::EndChanges() const {
    if (!m_bChanging) return;
    m_bChanging = false;
    if (m_hWnd == nullptr) return;
    m_qwLastEnd = GetTickCount64();
    Send(WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hWnd, nullptr, FALSE);
    if (m_hPendingVisible != nullptr) {
        const HTREEITEM hItem = m_hPendingVisible;
        m_hPendingVisible = nullptr;
        Send(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem));
    }
}

void CWinTreeCtrl::EndChangesWhenDue() const {
    if (!m_bChanging || m_hWnd == nullptr) return;
    const ULONGLONG qwSince = GetTickCount64() - m_qwLastEnd;
    if (qwSince >= kMinRunGapMs ||
        SetTimer(m_hWnd, kEndChangesTimer, static_cast<UINT>(kMinRunGapMs - qwSince), nullptr) == 0) {
        EndChanges();
    }
}

HTREEITEM CWinTreeCtrl::InsertItem(const std::string& strText, HTREEITEM hParent) {
    if (m_hWnd == nullptr) return nullptr;
    TVINSERTSTRUCTA insert{};
    insert.hParent = hParent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<LPSTR>(strText.c_str());
    BeginChanges();
    const auto hItem = reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    // A handle the control hands out again replaces what was known of it.
    if (hItem != nullptr) m_texts[hItem] = {strText, hParent == TVI_ROOT ? nullptr : hParent};
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
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    // Setting a text makes the control measure it again, and an item in the
    // expanded part of the tree then also has the control walk every such
    // item for its scroll bars: costly in a tree of many open calls. Most
    // refreshes of a call's details leave a text as it was, so those are
    // answered here. (An item that is gone reads as empty.)
    const auto itKnown = m_texts.find(hItem);
    if (itKnown != m_texts.end() ? itKnown->second.strText == strText
                                 : !strText.empty() && GetItemText(hItem) == strText) {
        return TRUE;
    }
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = const_cast<LPSTR>(strText.c_str());
    BeginChanges();
    if (Send(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) == 0) return FALSE;
    if (itKnown != m_texts.end()) itKnown->second.strText = strText;
    return TRUE;
}

std::string CWinTreeCtrl::GetItemText(HTREEITEM hItem) const {
    if (m_hWnd == nullptr || hItem == nullptr) return std::string();
    std::vector<char> buffer(kMaxItemText, '\0');
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = buffer.data();
    item.cchTextMax = kMaxItemText;
    if (!Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return std::string();
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
    if (!m_bFollowEvents && (nCode & (TVE_COLLAPSE | TVE_EXPAND)) == TVE_EXPAND) return TRUE;
    // Opening what is open already (a line for its next call) would still
    // have the control lay the tree out again.
    if (nCode == TVE_EXPAND &&
        (Send(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(hItem), TVIS_EXPANDED) & TVIS_EXPANDED) != 0) {
        return TRUE;
    }
    BeginChanges();
    return Send(TVM_EXPAND, nCode, reinterpret_cast<LPARAM>(hItem)) != 0;
}

BOOL CWinTreeCtrl::EnsureVisible(HTREEITEM hItem) {
    if (m_hWnd == nullptr || hItem == nullptr) return FALSE;
    if (!m_bFollowEvents) return TRUE;
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
    if (Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(hItem)) == 0) return FALSE;
    ForgetSubtree(hItem);
    return TRUE;
}

void CWinTreeCtrl::ForgetSubtree(HTREEITEM hItem) {
    if (hItem == TVI_ROOT) {
        m_texts.clear();
        return;
    }
    // Its children went with it, and theirs: a few passes over what is known
    // (the trees are three levels deep).
    std::vector<HTREEITEM> gone{hItem};
    m_texts.erase(hItem);
    while (!gone.empty()) {
        std::vector<HTREEITEM> next;
        for (auto it = m_texts.begin(); it != m_texts.end();) {
            if (std::find(gone.begin(), gone.end(), it->second.hParent) != gone.end()) {
                next.push_back(it->first);
                it = m_texts.erase(it);
            } else {
                ++it;
            }
        }
        gone.swap(next);
    }
}

UINT CWinTreeCtrl::GetCount() const {
    if (m_hWnd == nullptr) return 0;
    return static_cast<UINT>(Send(TVM_GETCOUNT, 0, 0));
}
