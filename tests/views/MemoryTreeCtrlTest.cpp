// The in-memory tree must behave as the monitor relies on the real control
// behaving: order of insertion, navigation, sort, deletion of subtrees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "views/MemoryTreeCtrl.h"

namespace {

using Texts = std::vector<std::string>;

const HTREEITEM kStranger = reinterpret_cast<HTREEITEM>(0x7777);

TEST(MemoryTreeCtrl, InsertsLastChildrenAndNavigates) {
    CMemoryTreeCtrl tree;
    EXPECT_EQ(tree.GetRootItem(), nullptr);
    HTREEITEM hRoot = tree.InsertItem("EXT");
    HTREEITEM hA = tree.InsertItem("201", hRoot);
    HTREEITEM hB = tree.InsertItem("202", hRoot);
    HTREEITEM hCall = tree.InsertItem("NEW", hA);
    HTREEITEM hRoot2 = tree.InsertItem("CO", TVI_ROOT);
    EXPECT_EQ(tree.GetCount(), 5u);
    EXPECT_EQ(tree.GetRootItem(), hRoot);
    EXPECT_EQ(tree.GetChildItem(hRoot), hA);
    EXPECT_EQ(tree.GetNextSiblingItem(hA), hB);
    EXPECT_EQ(tree.GetNextSiblingItem(hB), nullptr);
    EXPECT_EQ(tree.GetNextItem(hB, TVGN_PREVIOUS), hA);
    EXPECT_EQ(tree.GetParentItem(hCall), hA);
    EXPECT_EQ(tree.GetParentItem(hRoot), nullptr);
    EXPECT_TRUE(tree.ItemHasChildren(hA));
    EXPECT_FALSE(tree.ItemHasChildren(hB));
    EXPECT_EQ(tree.GetNextSiblingItem(hRoot), hRoot2);

    EXPECT_EQ(tree.GetItemData(hCall), 0u);
    EXPECT_TRUE(tree.SetItemData(hCall, 0x5001));
    EXPECT_EQ(tree.GetItemData(hCall), 0x5001u);
    EXPECT_TRUE(tree.SetItemText(hCall, "CONNECTED"));
    EXPECT_EQ(tree.GetItemText(hCall), "CONNECTED");

    // A parent that is not an item of this tree gets nothing.
    CMemoryTreeCtrl other;
    EXPECT_EQ(tree.InsertItem("x", kStranger), nullptr);
    EXPECT_EQ(other.InsertItem("x", hRoot), nullptr);
    EXPECT_FALSE(other.DeleteItem(hRoot));
    EXPECT_TRUE(tree.IsItem(hRoot));
}

TEST(MemoryTreeCtrl, DeletesSubtreesAndEverything) {
    CMemoryTreeCtrl tree;
    HTREEITEM hRoot = tree.InsertItem("EXT");
    HTREEITEM hLine = tree.InsertItem("201", hRoot);
    HTREEITEM hCall1 = tree.InsertItem("NEW", hLine);
    HTREEITEM hCall2 = tree.InsertItem("NEW", hLine);
    HTREEITEM hCall3 = tree.InsertItem("NEW", hLine);
    HTREEITEM hDetail = tree.InsertItem("Caller ID    = ", hCall2);
    tree.SelectItem(hDetail);

    // The middle call goes with its detail and the selection; its siblings close ranks.
    EXPECT_TRUE(tree.DeleteItem(hCall2));
    EXPECT_FALSE(tree.IsItem(hDetail));
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    EXPECT_EQ(tree.GetNextSiblingItem(hCall1), hCall3);
    EXPECT_EQ(tree.GetNextItem(hCall3, TVGN_PREVIOUS), hCall1);
    // A stale handle stays stale, even after new items were made.
    HTREEITEM hLast = tree.InsertItem("NEW", hLine);
    EXPECT_EQ(tree.GetItemText(hCall2), "");
    EXPECT_FALSE(tree.DeleteItem(hCall2));

    // Deleting the first and the last child keeps the list consistent.
    EXPECT_TRUE(tree.DeleteItem(hCall1));
    EXPECT_EQ(tree.GetChildItem(hLine), hCall3);
    EXPECT_TRUE(tree.DeleteItem(hLast));
    HTREEITEM hNew = tree.InsertItem("NEW2", hLine);
    EXPECT_EQ(tree.GetNextSiblingItem(hCall3), hNew);

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
    // Text order, not numeric; equal texts apart from case keep their order.
    EXPECT_EQ(tree.GetChildTexts(hRoot), (Texts{"1000", "201", "99", "ALP", "Alpha", "alpha", "beta"}));
    EXPECT_EQ(tree.GetChildTexts(h99), (Texts{"b", "A"}));  // not recursive
    // The links follow the new order both ways, and appending goes to the end.
    EXPECT_EQ(tree.GetNextItem(tree.GetChildItem(hRoot), TVGN_PREVIOUS), nullptr);
    HTREEITEM hZero = tree.InsertItem("0", hRoot);
    EXPECT_EQ(tree.GetItemText(tree.GetNextItem(hZero, TVGN_PREVIOUS)), "beta");
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
