// The deferred tree must answer as if every change reached the control at
// once, and the control must show exactly that tree after a flush, having
// seen only the net effect of the changes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "views/DeferredTreeCtrl.h"

namespace {

// The shown control, counting what reaches it.
struct CCountingTree : CMemoryTreeCtrl {
    int nInserts = 0, nTexts = 0, nDeletes = 0;
    HTREEITEM InsertItem(const std::string& s, HTREEITEM hParent = TVI_ROOT) override {
        ++nInserts;
        return CMemoryTreeCtrl::InsertItem(s, hParent);
    }
    BOOL SetItemText(HTREEITEM h, const std::string& s) override {
        ++nTexts;
        return CMemoryTreeCtrl::SetItemText(h, s);
    }
    BOOL DeleteItem(HTREEITEM h) override {
        ++nDeletes;
        return CMemoryTreeCtrl::DeleteItem(h);
    }
    // Like the real control, puts an open copy in the place of a closed
    // childless item (here only a last one, where appending keeps the place).
    HTREEITEM ReplaceOpened(HTREEITEM h) override {
        if (!IsItem(h) || ItemHasChildren(h) || IsExpanded(h) || GetNextSiblingItem(h) || GetSelectedItem() == h)
            return nullptr;
        const HTREEITEM hParent = GetParentItem(h);
        const std::string strText = GetItemText(h);
        const DWORD_PTR dwData = GetItemData(h);
        CMemoryTreeCtrl::DeleteItem(h);
        const HTREEITEM hNew = CMemoryTreeCtrl::InsertItem(strText, hParent ? hParent : TVI_ROOT);
        SetItemData(hNew, dwData);
        Expand(hNew, TVE_EXPAND);
        return hNew;
    }
};

// Texts and data in order, children in parentheses; '!' marks an item whose
// links disagree with how it was reached. With bState, of an in-memory tree:
// '+' expanded, '^' made visible, '*' selected, and after the items the rows
// a click on the last pixel of each row finds.
std::string Dump(const CTreeCtrl& tree, HTREEITEM hParent = TVI_ROOT, bool bState = false) {
    std::string text;
    const auto* pMemory = bState ? dynamic_cast<const CMemoryTreeCtrl*>(&tree) : nullptr;
    HTREEITEM hPrev = nullptr;
    for (HTREEITEM h = tree.GetChildItem(hParent); h != nullptr; hPrev = h, h = tree.GetNextSiblingItem(h)) {
        text += tree.GetItemText(h);
        if (tree.GetItemData(h) != 0) text += '#' + std::to_string(tree.GetItemData(h));
        if (tree.GetParentItem(h) != (hParent == TVI_ROOT ? nullptr : hParent) ||
            tree.GetNextItem(h, TVGN_PREVIOUS) != hPrev || !tree.ItemHasChildren(h) != !tree.GetChildItem(h))
            text += '!';
        if (pMemory && pMemory->IsExpanded(h)) text += '+';
        if (pMemory && pMemory->WasMadeVisible(h)) text += '^';
        if (pMemory && tree.GetSelectedItem() == h) text += '*';
        if (tree.GetChildItem(h)) text += '(' + Dump(tree, h, bState) + ')';
        text += ',';
    }
    const int nRow = CMemoryTreeCtrl::kRowHeight;
    for (int y = nRow - 1; pMemory && hParent == TVI_ROOT && tree.HitTest(0, y); y += nRow)
        text += ' ' + tree.GetItemText(tree.HitTest(0, y));
    return text;
}

// The in-memory tree as the monitor relies on the real control behaving:
// last-child insertion, navigation, a stable sort of one level without regard
// to case, deletion of subtrees with the selection in them, expansion.
TEST(MemoryTreeCtrl, KeepsOrderLinksAndStateThroughEveryChange) {
    CMemoryTreeCtrl tree, other;
    const HTREEITEM hStranger = reinterpret_cast<HTREEITEM>(0x7777);
    const HTREEITEM hRoot = tree.InsertItem("EXT"), hLine = tree.InsertItem("201", hRoot);
    std::vector<HTREEITEM> calls;
    for (const char* psz : {"C1", "C2", "C3"}) calls.push_back(tree.InsertItem(psz, hLine));
    const HTREEITEM hDetail = tree.InsertItem("b", calls[1]);
    tree.InsertItem("A", calls[1]);
    for (const char* psz : {"1000", "Beta", "Alpha", "alpha", "ALP"}) tree.InsertItem(psz, hRoot);
    const HTREEITEM hOther = tree.InsertItem("CO");
    EXPECT_EQ(tree.InsertItem("x", hStranger), nullptr);  // a parent of no tree, or of another
    EXPECT_EQ(other.InsertItem("x", hRoot), nullptr);
    EXPECT_FALSE(other.DeleteItem(hRoot) || other.SelectItem(hRoot) || tree.SortChildren(hStranger));
    EXPECT_TRUE(tree.SelectItem(hDetail) && tree.EnsureVisible(hDetail) && tree.SortChildren(hRoot));
    tree.InsertItem("0", hRoot);
    EXPECT_EQ(Dump(tree, TVI_ROOT, true),
              "EXT+(1000,201+(C1,C2+(b^*,A,),C3,),ALP,Alpha,alpha,Beta,0,),CO, EXT 1000 201 C1 C2 b A C3 ALP Alpha "
              "alpha Beta 0 CO");
    EXPECT_EQ(tree.GetCount(), 14u);

    // The middle call goes with its details and the selection; a stale handle
    // stays stale after new items came; first and last children go cleanly.
    EXPECT_TRUE(tree.Expand(hLine, TVE_EXPAND | TVE_COLLAPSE));  // toggled shut
    EXPECT_TRUE(tree.DeleteItem(calls[1]));
    const HTREEITEM hLast = tree.InsertItem("C4", hLine);
    EXPECT_FALSE(tree.IsItem(hDetail) || tree.GetSelectedItem() || tree.DeleteItem(calls[1]));
    EXPECT_EQ(tree.GetItemText(calls[1]), "");
    EXPECT_TRUE(tree.DeleteItem(calls[0]) && tree.DeleteItem(hLast) && tree.InsertItem("C5", hLine));
    EXPECT_EQ(Dump(tree, TVI_ROOT, true),
              "EXT+(1000,201(C3,C5,),ALP,Alpha,alpha,Beta,0,),CO, EXT 1000 201 ALP Alpha "
              "alpha Beta 0 CO");
    EXPECT_EQ(tree.HitTest(-1, 0), nullptr);

    EXPECT_TRUE(tree.SelectItem(hOther) && tree.DeleteItem(TVI_ROOT));
    EXPECT_FALSE(tree.GetCount() || tree.IsItem(hRoot) || tree.GetSelectedItem());
}

TEST(DeferredTreeCtrl, AnswersAtOnceAndShowsTheSameTreeAfterEveryFlush) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
        CMemoryTreeCtrl ref;
        CCountingTree shown;
        CDeferredTreeCtrl tree(&shown);
        std::vector<std::pair<HTREEITEM, HTREEITEM>> items;  // (ref, tree)
        const char* kTexts[] = {"b", "A", "c", "a", "NEW"};
        for (int step = 0; step < 400; ++step) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
            const size_t nOp = pick(100);
            const bool bAny = !items.empty();
            const auto& item = bAny ? items[pick(items.size())] : std::pair<HTREEITEM, HTREEITEM>{};
            if (nOp < 40 || !bAny) {
                const bool bTop = !bAny || pick(8) == 0;
                const std::string strText = kTexts[pick(5)];
                const HTREEITEM hRef = ref.InsertItem(strText, bTop ? TVI_ROOT : item.first);
                const HTREEITEM hTree = tree.InsertItem(strText, bTop ? TVI_ROOT : item.second);
                ASSERT_NE(hTree, nullptr);
                items.emplace_back(hRef, hTree);
            } else if (nOp < 60) {
                const std::string strText = kTexts[pick(5)];
                ref.SetItemText(item.first, strText);
                tree.SetItemText(item.second, strText);
            } else if (nOp < 70) {
                ref.SetItemData(item.first, nOp);
                tree.SetItemData(item.second, nOp);
            } else if (nOp < 82) {
                const bool bRoot = pick(30) == 0;
                ref.DeleteItem(bRoot ? TVI_ROOT : item.first);
                tree.DeleteItem(bRoot ? TVI_ROOT : item.second);
                std::vector<std::pair<HTREEITEM, HTREEITEM>> left;
                for (const auto& p : items) {
                    if (ref.IsItem(p.first)) left.push_back(p);
                }
                items.swap(left);
            } else if (nOp < 88) {
                const bool bTop = pick(3) == 0;
                ref.SortChildren(bTop ? TVI_ROOT : item.first);
                tree.SortChildren(bTop ? TVI_ROOT : item.second);
            } else if (nOp < 92) {
                tree.Expand(item.second, TVE_EXPAND);
                tree.EnsureVisible(item.second);
            } else {
                tree.Flush();
                EXPECT_FALSE(tree.HasChanges());
                ASSERT_EQ(Dump(shown), Dump(ref));
                EXPECT_EQ(shown.GetCount(), ref.GetCount());
                if (bAny) {
                    // Selection lives in the shown control and maps back.
                    ASSERT_TRUE(tree.SelectItem(item.second));
                    EXPECT_EQ(shown.GetSelectedItem(), tree.ShownItem(item.second));
                    EXPECT_EQ(tree.GetSelectedItem(), item.second);
                    EXPECT_EQ(shown.GetItemText(tree.ShownItem(item.second)), ref.GetItemText(item.first));
                }
            }
            ASSERT_EQ(Dump(tree), Dump(ref));
            ASSERT_EQ(tree.GetCount(), ref.GetCount());
        }
    }
}

TEST(DeferredTreeCtrl, ShowsOnlyTheNetEffectAndFollowsOnlyWhenAsked) {
    CCountingTree shown;
    int nAsked = 0;
    CDeferredTreeCtrl tree(&shown, [&] { ++nAsked; });
    const HTREEITEM hRoot = tree.InsertItem("EXT");
    const HTREEITEM hLine = tree.InsertItem("201 Desk", hRoot);
    const HTREEITEM hOther = tree.InsertItem("202 Desk", hRoot);
    tree.Expand(hRoot, TVE_EXPAND);
    EXPECT_EQ(nAsked, 1);  // once until the next flush
    tree.Flush();
    EXPECT_EQ(shown.nInserts, 3);
    EXPECT_EQ(Dump(shown, TVI_ROOT, true), "EXT+(201 Desk,202 Desk,), EXT 201 Desk 202 Desk");

    // A hundred calls come and go, a label changes and changes back, a text
    // is set to what it is: nothing for the control, though the tree moved.
    for (int i = 0; i < 100; ++i) {
        const HTREEITEM hCall = tree.InsertItem("NEW", hLine);
        for (int j = 0; j < 10; ++j) tree.InsertItem("detail", hCall);
        tree.SetItemText(hCall, "CONNECTED");
        tree.DeleteItem(hCall);
    }
    tree.SetItemText(hOther, "x");
    tree.SetItemText(hOther, "202 Desk");
    EXPECT_EQ(nAsked, 2);
    tree.Flush();
    EXPECT_EQ(shown.nInserts, 3);
    EXPECT_EQ(shown.nDeletes, 0);
    EXPECT_LE(shown.nTexts, 1);
    EXPECT_FALSE(tree.SetItemText(nullptr, "x"));
    tree.SetItemText(hLine, "201 Desk");
    EXPECT_FALSE(tree.HasChanges());
    shown.nTexts = 0;

    // The call last brought into view goes before the flush: its line comes
    // into view instead; a text changed many times is set once.
    const HTREEITEM hCall = tree.InsertItem("NEW", hLine);
    tree.Expand(hLine, TVE_EXPAND);
    tree.EnsureVisible(hCall);
    for (const char* psz : {"OFFERING", "RINGBACK", "CONNECTED"}) tree.SetItemText(hOther, psz);
    tree.DeleteItem(hCall);
    tree.Flush();
    EXPECT_EQ(Dump(shown, TVI_ROOT, true), "EXT+(201 Desk+^,CONNECTED,), EXT 201 Desk CONNECTED");
    EXPECT_EQ(shown.nTexts, 1);

    // The last of several requests for the same item holds, for items
    // shown already and for new ones (shown open at once).
    const HTREEITEM hOpen = tree.InsertItem("NEW", hOther);
    const HTREEITEM hShut = tree.InsertItem("NEW", hOther);
    for (HTREEITEM h : {hOpen, hShut}) tree.InsertItem("detail", h);
    for (UINT nCode : {TVE_COLLAPSE, TVE_EXPAND}) tree.Expand(hOpen, nCode);
    for (UINT nCode : {TVE_EXPAND, TVE_COLLAPSE}) tree.Expand(hShut, nCode);
    for (UINT nCode : {TVE_EXPAND, TVE_COLLAPSE, TVE_EXPAND}) tree.Expand(hOther, nCode);
    tree.Expand(hLine, TVE_EXPAND);
    tree.Expand(hLine, TVE_COLLAPSE);
    tree.Flush();
    EXPECT_EQ(Dump(shown, TVI_ROOT, true),
              "EXT+(201 Desk^,CONNECTED+(NEW+(detail,),NEW(detail,),),), EXT 201 Desk CONNECTED NEW detail NEW");
    for (HTREEITEM h : {hOpen, hShut}) tree.DeleteItem(h);
    tree.Expand(hOther, TVE_COLLAPSE);

    // Not following: nothing opens or scrolls for an event.
    tree.SetFollowEvents(false);
    const HTREEITEM hCall2 = tree.InsertItem("NEW", hOther);
    EXPECT_TRUE(tree.Expand(hOther, TVE_EXPAND));
    EXPECT_TRUE(tree.EnsureVisible(hCall2));
    tree.Flush();
    EXPECT_EQ(Dump(shown, TVI_ROOT, true), "EXT+(201 Desk^,CONNECTED(NEW,),), EXT 201 Desk CONNECTED");

    // A hit maps back to the tree's own item; deleted items map to nothing.
    tree.SelectItem(hCall2);
    tree.DeleteItem(hCall2);
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    EXPECT_EQ(tree.HitTest(0, 0), hRoot);
}

}  // namespace
