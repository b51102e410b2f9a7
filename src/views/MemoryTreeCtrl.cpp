// The in-memory tree: items in a hash table by handle, linked to parent,
// siblings and children so that navigation and last-child insertion cost
// the same whatever the tree holds.
#include "views/MemoryTreeCtrl.h"

#include <algorithm>
#include <utility>

namespace {

unsigned char FoldCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// Byte-wise comparison with ASCII letters folded to lower case.
bool LessWithoutCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = FoldCase(static_cast<unsigned char>(a[i]));
        const unsigned char cb = FoldCase(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

}  // namespace

CMemoryTreeCtrl::Node* CMemoryTreeCtrl::Find(HTREEITEM hItem) {
    if (IsTopLevel(hItem)) return nullptr;
    const auto it = m_nodes.find(ToId(hItem));
    return it == m_nodes.end() ? nullptr : &it->second;
}

const CMemoryTreeCtrl::Node* CMemoryTreeCtrl::Find(HTREEITEM hItem) const {
    if (IsTopLevel(hItem)) return nullptr;
    const auto it = m_nodes.find(ToId(hItem));
    return it == m_nodes.end() ? nullptr : &it->second;
}

std::atomic<CMemoryTreeCtrl::Id> CMemoryTreeCtrl::s_nextId{1};

CMemoryTreeCtrl::Id CMemoryTreeCtrl::NewId() {
    // Stay clear of the TVI_ sentinels, which are handle values too; after a
    // wrap (never in practice on 64 bits) skip the handles still in use here.
    const Id idLimit = std::min({ToId(TVI_ROOT), ToId(TVI_FIRST), ToId(TVI_LAST)});
    for (;;) {
        Id id = s_nextId.fetch_add(1);
        if (id == 0 || id >= idLimit) {
            s_nextId.store(2);
            id = 1;
        }
        if (m_nodes.find(id) == m_nodes.end()) return id;
    }
}

HTREEITEM CMemoryTreeCtrl::InsertItem(const std::string& strText, HTREEITEM hParent) {
    Id parentId = 0;
    if (!IsTopLevel(hParent)) {
        if (!Find(hParent)) return nullptr;
        parentId = ToId(hParent);
    }
    const Id id = NewId();
    Node& node = m_nodes[id];
    node.strText = strText;
    node.parent = parentId;

    Id& first = parentId ? m_nodes[parentId].firstChild : m_firstRoot;
    Id& last = parentId ? m_nodes[parentId].lastChild : m_lastRoot;
    node.prev = last;
    if (last) {
        m_nodes[last].next = id;
    } else {
        first = id;
    }
    last = id;
    return ToHandle(id);
}

BOOL CMemoryTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
    Node* pNode = Find(hItem);
    if (!pNode) return FALSE;
    pNode->dwData = dwData;
    return TRUE;
}

DWORD_PTR CMemoryTreeCtrl::GetItemData(HTREEITEM hItem) const {
    const Node* pNode = Find(hItem);
    return pNode ? pNode->dwData : 0;
}

BOOL CMemoryTreeCtrl::SetItemText(HTREEITEM hItem, const std::string& strText) {
    Node* pNode = Find(hItem);
    if (!pNode) return FALSE;
    pNode->strText = strText;
    return TRUE;
}

std::string CMemoryTreeCtrl::GetItemText(HTREEITEM hItem) const {
    const Node* pNode = Find(hItem);
    return pNode ? pNode->strText : std::string();
}

BOOL CMemoryTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
    const Node* pNode = Find(hItem);
    return pNode && pNode->firstChild != 0;
}

HTREEITEM CMemoryTreeCtrl::GetNextItem(HTREEITEM hItem, UINT nCode) const {
    switch (nCode) {
        case TVGN_ROOT:
            return ToHandle(m_firstRoot);
        case TVGN_CARET:
            return ToHandle(m_selected);
        case TVGN_CHILD: {
            if (IsTopLevel(hItem)) return ToHandle(m_firstRoot);
            const Node* pNode = Find(hItem);
            return pNode ? ToHandle(pNode->firstChild) : nullptr;
        }
        case TVGN_NEXT: {
            const Node* pNode = Find(hItem);
            return pNode ? ToHandle(pNode->next) : nullptr;
        }
        case TVGN_PREVIOUS: {
            const Node* pNode = Find(hItem);
            return pNode ? ToHandle(pNode->prev) : nullptr;
        }
        case TVGN_PARENT: {
            const Node* pNode = Find(hItem);
            return pNode ? ToHandle(pNode->parent) : nullptr;
        }
        default:
            return nullptr;
    }
}

BOOL CMemoryTreeCtrl::SelectItem(HTREEITEM hItem) {
    // Null clears the selection, as the control allows.
    if (hItem == nullptr) {
        m_selected = 0;
        return TRUE;
    }
    if (!Find(hItem)) return FALSE;
    m_selected = ToId(hItem);
    return TRUE;
}

std::vector<HTREEITEM> CMemoryTreeCtrl::GetVisibleItems() const {
    std::vector<HTREEITEM> rows;
    // Depth-first over expanded items, without recursion: deep trees are fine.
    std::vector<Id> stack;
    auto pushSiblings = [&](Id first) {
        std::vector<Id> level;
        for (Id id = first; id; id = m_nodes.at(id).next) level.push_back(id);
        stack.insert(stack.end(), level.rbegin(), level.rend());
    };
    pushSiblings(m_firstRoot);
    while (!stack.empty()) {
        const Id id = stack.back();
        stack.pop_back();
        rows.push_back(ToHandle(id));
        const Node& node = m_nodes.at(id);
        if (node.bExpanded) pushSiblings(node.firstChild);
    }
    return rows;
}

HTREEITEM CMemoryTreeCtrl::HitTest(int x, int y) const {
    if (x < 0 || y < 0) return nullptr;
    const std::vector<HTREEITEM> rows = GetVisibleItems();
    const size_t row = static_cast<size_t>(y / kRowHeight);
    return row < rows.size() ? rows[row] : nullptr;
}

BOOL CMemoryTreeCtrl::Expand(HTREEITEM hItem, UINT nCode) {
    Node* pNode = Find(hItem);
    if (!pNode) return FALSE;
    switch (nCode & (TVE_EXPAND | TVE_COLLAPSE)) {
        case TVE_EXPAND:
            pNode->bExpanded = true;
            return TRUE;
        case TVE_COLLAPSE:
            pNode->bExpanded = false;
            return TRUE;
        case TVE_EXPAND | TVE_COLLAPSE:  // toggle
            pNode->bExpanded = !pNode->bExpanded;
            return TRUE;
        default:
            return FALSE;
    }
}

BOOL CMemoryTreeCtrl::EnsureVisible(HTREEITEM hItem) {
    Node* pNode = Find(hItem);
    if (!pNode) return FALSE;
    pNode->bMadeVisible = true;
    for (Id id = pNode->parent; id; id = m_nodes.at(id).parent) m_nodes.at(id).bExpanded = true;
    return TRUE;
}

BOOL CMemoryTreeCtrl::SortChildren(HTREEITEM hItem) {
    Id* pFirst = &m_firstRoot;
    Id* pLast = &m_lastRoot;
    if (!IsTopLevel(hItem)) {
        Node* pNode = Find(hItem);
        if (!pNode) return FALSE;
        pFirst = &pNode->firstChild;
        pLast = &pNode->lastChild;
    }
    std::vector<std::pair<const std::string*, Id>> children;
    for (Id id = *pFirst; id; id = m_nodes.at(id).next) children.emplace_back(&m_nodes.at(id).strText, id);
    // Equal texts keep their order.
    std::stable_sort(children.begin(), children.end(),
                     [](const auto& a, const auto& b) { return LessWithoutCase(*a.first, *b.first); });
    Id prev = 0;
    for (const auto& child : children) {
        Node& node = m_nodes.at(child.second);
        node.prev = prev;
        node.next = 0;
        if (prev) m_nodes.at(prev).next = child.second;
        prev = child.second;
    }
    *pFirst = children.empty() ? 0 : children.front().second;
    *pLast = prev;
    return TRUE;
}

void CMemoryTreeCtrl::Unlink(Node& node) {
    Id& first = node.parent ? m_nodes.at(node.parent).firstChild : m_firstRoot;
    Id& last = node.parent ? m_nodes.at(node.parent).lastChild : m_lastRoot;
    if (node.prev) {
        m_nodes.at(node.prev).next = node.next;
    } else {
        first = node.next;
    }
    if (node.next) {
        m_nodes.at(node.next).prev = node.prev;
    } else {
        last = node.prev;
    }
    node.prev = node.next = 0;
}

void CMemoryTreeCtrl::EraseSubtree(Id id) {
    std::vector<Id> pending{id};
    while (!pending.empty()) {
        const Id current = pending.back();
        pending.pop_back();
        const auto it = m_nodes.find(current);
        if (it == m_nodes.end()) continue;
        for (Id child = it->second.firstChild; child; child = m_nodes.at(child).next) pending.push_back(child);
        if (m_selected == current) m_selected = 0;
        m_nodes.erase(it);
    }
}

BOOL CMemoryTreeCtrl::DeleteItem(HTREEITEM hItem) {
    if (hItem == TVI_ROOT) {
        m_nodes.clear();
        m_firstRoot = m_lastRoot = m_selected = 0;
        return TRUE;
    }
    Node* pNode = Find(hItem);
    if (!pNode) return FALSE;
    const Id id = ToId(hItem);
    Unlink(*pNode);
    EraseSubtree(id);
    ReleaseSpareBuckets(m_nodes);
    return TRUE;
}

UINT CMemoryTreeCtrl::GetCount() const {
    return static_cast<UINT>(m_nodes.size());
}

BOOL CMemoryTreeCtrl::IsExpanded(HTREEITEM hItem) const {
    const Node* pNode = Find(hItem);
    return pNode && pNode->bExpanded;
}

BOOL CMemoryTreeCtrl::WasMadeVisible(HTREEITEM hItem) const {
    const Node* pNode = Find(hItem);
    return pNode && pNode->bMadeVisible;
}

std::vector<std::string> CMemoryTreeCtrl::GetChildTexts(HTREEITEM hParent) const {
    std::vector<std::string> texts;
    Id first = m_firstRoot;
    if (!IsTopLevel(hParent)) {
        const Node* pNode = Find(hParent);
        if (!pNode) return texts;
        first = pNode->firstChild;
    }
    for (Id id = first; id; id = m_nodes.at(id).next) texts.push_back(m_nodes.at(id).strText);
    return texts;
}
