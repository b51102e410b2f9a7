// The in-memory tree must behave as the monitor relies on the real control
// behaving: order of insertion, navigation, sort, deletion of subtrees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "views/MemoryTreeCtrl.h"

namespace {

const HTREEITEM kStranger = reinterpret_cast<HTREEITEM>(0x7777);

// The tree as text: each item's text, then its children in parentheses. An
// item whose links disagree with how it was reached (its parent, its previous
// sibling, whether it has children) is marked '!'.
std::string Dump(const CMemoryTreeCtrl& tree, HTREEITEM hParent = nullptr) {
    std::string text;
    HTREEITEM hPrev = nullptr;
    for (HTREEITEM h = hParent ? tree.GetChildItem(hParent) : tree.GetRootItem(); h; h = tree.GetNextSiblingItem(h)) {
        if (hPrev) text += ',';
        text += tree.GetItemText(h);
        const HTREEITEM hChild = tree.GetChildItem(h);
        if (tree.GetNextItem(h, TVGN_PREVIOUS) != hPrev || tree.GetParentItem(h) != hParent ||
            (tree.ItemHasChildren(h) != FALSE) != (hChild != nullptr))
            text += "!";
        if (hChild) text += '(' + Dump(tree, h) + ')';
        hPrev = h;
    }
    return text;
}

TEST(MemoryTreeCtrl, InsertsLastChildrenAndDeletesSubtrees) {
    CMemoryTreeCtrl tree;
    EXPECT_EQ(tree.GetRootItem(), nullptr);
    HTREEITEM hRoot = tree.InsertItem("EXT");
    HTREEITEM hLine = tree.InsertItem("201", hRoot);
    HTREEITEM hCall1 = tree.InsertItem("C1", hLine);
    HTREEITEM hCall2 = tree.InsertItem("C2", hLine);
    HTREEITEM hCall3 = tree.InsertItem("C3", hLine);
    HTREEITEM hDetail = tree.InsertItem("Caller ID    = ", hCall2);
    tree.InsertItem("202", hRoot);
    tree.InsertItem("CO", TVI_ROOT);
    EXPECT_EQ(Dump(tree), "EXT(201(C1,C2(Caller ID    = ),C3),202),CO");
    EXPECT_EQ(tree.GetCount(), 8u);

    EXPECT_EQ(tree.GetItemData(hCall1), 0u);
    EXPECT_TRUE(tree.SetItemData(hCall1, 0x5001));
    EXPECT_EQ(tree.GetItemData(hCall1), 0x5001u);
    EXPECT_TRUE(tree.SetItemText(hCall1, "CONNECTED"));

    // A parent that is not an item of this tree gets nothing.
    CMemoryTreeCtrl other;
    EXPECT_EQ(tree.InsertItem("x", kStranger), nullptr);
    EXPECT_EQ(other.InsertItem("x", hRoot), nullptr);
    EXPECT_FALSE(other.DeleteItem(hRoot));

    // The middle call goes with its detail and the selection; its siblings
    // close ranks. A stale handle stays stale, even after new items were made.
    tree.SelectItem(hDetail);
    EXPECT_TRUE(tree.DeleteItem(hCall2));
    EXPECT_FALSE(tree.IsItem(hDetail));
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    HTREEITEM hLast = tree.InsertItem("C4", hLine);
    EXPECT_EQ(tree.GetItemText(hCall2), "");
    EXPECT_FALSE(tree.DeleteItem(hCall2));
    EXPECT_EQ(Dump(tree), "EXT(201(CONNECTED,C3,C4),202),CO");
    // Deleting the first and the last child keeps the list consistent.
    EXPECT_TRUE(tree.DeleteItem(hCall1));
    EXPECT_TRUE(tree.DeleteItem(hLast));
    tree.InsertItem("C5", hLine);
    EXPECT_EQ(Dump(tree), "EXT(201(C3,C5),202),CO");
    EXPECT_TRUE(tree.IsItem(hCall3));

    EXPECT_TRUE(tree.DeleteItem(TVI_ROOT));
    EXPECT_EQ(tree.GetCount(), 0u);
    EXPECT_FALSE(tree.IsItem(hRoot));
}

TEST(MemoryTreeCtrl, SortsOneLevelWithoutRegardToCase) {
    CMemoryTreeCtrl tree;
    HTREEITEM hRoot = tree.InsertItem("CO");
    HTREEITEM h99 = tree.InsertItem("99", hRoot);
    tree.InsertItem("b", h99);
    tree.InsertItem("A", h99);
    for (const char* text : {"1000", "201", "beta", "Alpha", "alpha", "ALP"}) tree.InsertItem(text, hRoot);
    EXPECT_TRUE(tree.SortChildren(hRoot));
    tree.InsertItem("0", hRoot);  // appended at the end
    // Text order, not numeric; equal texts apart from case keep their order;
    // not recursive.
    EXPECT_EQ(Dump(tree), "CO(1000,201,99(b,A),ALP,Alpha,alpha,beta,0)");
    EXPECT_FALSE(tree.SortChildren(kStranger));
}

TEST(MemoryTreeCtrl, RecordsExpansionVisibilityAndSelection) {
    CMemoryTreeCtrl tree;
    HTREEITEM hRoot = tree.InsertItem("EXT");
    HTREEITEM hLine = tree.InsertItem("201", hRoot);
    HTREEITEM hCall = tree.InsertItem("NEW", hLine);
    HTREEITEM hDetail = tree.InsertItem("Trunk = ", hCall);
    HTREEITEM hOther = tree.InsertItem("ETC");

    // Only the roots are on screen until something is expanded.
    EXPECT_EQ(tree.GetVisibleItems(), (std::vector<HTREEITEM>{hRoot, hOther}));
    EXPECT_TRUE(tree.EnsureVisible(hDetail));
    EXPECT_TRUE(tree.WasMadeVisible(hDetail));
    EXPECT_FALSE(tree.WasMadeVisible(hCall));
    EXPECT_FALSE(tree.IsExpanded(hDetail));
    EXPECT_EQ(tree.GetVisibleItems(), (std::vector<HTREEITEM>{hRoot, hLine, hCall, hDetail, hOther}));

    EXPECT_TRUE(tree.Expand(hCall, TVE_COLLAPSE));
    EXPECT_FALSE(tree.IsExpanded(hCall));
    EXPECT_TRUE(tree.Expand(hCall, TVE_EXPAND | TVE_COLLAPSE));
    EXPECT_TRUE(tree.IsExpanded(hCall));
    tree.Expand(hLine, TVE_COLLAPSE);

    // Rows: EXT, 201, ETC.
    const int h = CMemoryTreeCtrl::kRowHeight;
    EXPECT_EQ(tree.HitTest(5, h + h - 1), hLine);
    EXPECT_EQ(tree.HitTest(5, 2 * h), hOther);
    EXPECT_EQ(tree.HitTest(5, 3 * h), nullptr);
    EXPECT_EQ(tree.HitTest(-1, 0), nullptr);

    EXPECT_TRUE(tree.SelectItem(hLine));
    EXPECT_FALSE(tree.SelectItem(kStranger));
    EXPECT_EQ(tree.GetSelectedItem(), hLine);
    tree.DeleteItem(hRoot);  // an ancestor of the selection
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
}

}  // namespace
