// The in-memory tree must behave as the monitor relies on the real control
// behaving: order of insertion, navigation, sort, deletion of subtrees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "views/MemoryTreeCtrl.h"

namespace {

using Texts = std::vector<std::string>;

TEST(MemoryTreeCtrl, InsertsLastChildrenAndNavigates) {
    CMemoryTreeCtrl tree;
    EXPECT_EQ(tree.GetRootItem(), nullptr);
    EXPECT_EQ(tree.GetCount(), 0u);

    HTREEITEM hRoot = tree.InsertItem("EXT");
    HTREEITEM hA = tree.InsertItem("201", hRoot);
    HTREEITEM hB = tree.InsertItem("202", hRoot);
    HTREEITEM hCall = tree.InsertItem("NEW", hA);
    ASSERT_NE(hRoot, nullptr);
    ASSERT_NE(hCall, nullptr);
    EXPECT_EQ(tree.GetCount(), 4u);

    EXPECT_EQ(tree.GetRootItem(), hRoot);
    EXPECT_EQ(tree.GetChildItem(hRoot), hA);
    EXPECT_EQ(tree.GetNextSiblingItem(hA), hB);
    EXPECT_EQ(tree.GetNextSiblingItem(hB), nullptr);
    EXPECT_EQ(tree.GetParentItem(hCall), hA);
    EXPECT_EQ(tree.GetParentItem(hRoot), nullptr);
    EXPECT_EQ(tree.GetChildItem(hB), nullptr);
    EXPECT_EQ(tree.GetNextItem(hB, TVGN_PREVIOUS), hA);
    EXPECT_EQ(tree.GetChildItem(TVI_ROOT), hRoot);
    EXPECT_TRUE(tree.ItemHasChildren(hA));
    EXPECT_FALSE(tree.ItemHasChildren(hB));

    // A second top-level item goes after the first.
    HTREEITEM hRoot2 = tree.InsertItem("CO", TVI_ROOT);
    EXPECT_EQ(tree.GetNextSiblingItem(hRoot), hRoot2);
    EXPECT_EQ(tree.GetChildTexts(TVI_ROOT), (Texts{"EXT", "CO"}));

    // Text and data; data is 0 until set.
    EXPECT_EQ(tree.GetItemData(hCall), 0u);
    EXPECT_TRUE(tree.SetItemData(hCall, 0x5001));
    EXPECT_EQ(tree.GetItemData(hCall), 0x5001u);
    EXPECT_TRUE(tree.SetItemText(hCall, "CONNECTED"));
    EXPECT_EQ(tree.GetItemText(hCall), "CONNECTED");

    // A parent that is not an item gets nothing.
    EXPECT_EQ(tree.InsertItem("x", reinterpret_cast<HTREEITEM>(0x7777)), nullptr);
    EXPECT_EQ(tree.GetCount(), 5u);
}

TEST(MemoryTreeCtrl, OneTreeNeverAnswersForAnothersItems) {
    CMemoryTreeCtrl ext;
    CMemoryTreeCtrl co;
    HTREEITEM hExtRoot = ext.InsertItem("EXT");
    HTREEITEM hCoRoot = co.InsertItem("CO");
    EXPECT_NE(hExtRoot, hCoRoot);
    EXPECT_FALSE(co.IsItem(hExtRoot));
    EXPECT_EQ(co.InsertItem("201", hExtRoot), nullptr);
    EXPECT_FALSE(co.DeleteItem(hExtRoot));
    EXPECT_TRUE(ext.IsItem(hExtRoot));
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

    // The middle call goes with its detail; its siblings close ranks.
    EXPECT_TRUE(tree.DeleteItem(hCall2));
    EXPECT_FALSE(tree.IsItem(hCall2));
    EXPECT_FALSE(tree.IsItem(hDetail));
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    EXPECT_EQ(tree.GetNextSiblingItem(hCall1), hCall3);
    EXPECT_EQ(tree.GetNextItem(hCall3, TVGN_PREVIOUS), hCall1);
    EXPECT_EQ(tree.GetCount(), 4u);
    // A stale handle stays stale, even after new items were made.
    tree.InsertItem("NEW", hLine);
    EXPECT_EQ(tree.GetItemText(hCall2), "");
    EXPECT_FALSE(tree.DeleteItem(hCall2));

    // Deleting the first and the last child keeps the list consistent.
    EXPECT_TRUE(tree.DeleteItem(hCall1));
    EXPECT_EQ(tree.GetChildItem(hLine), hCall3);
    HTREEITEM hLast = tree.GetNextSiblingItem(hCall3);
    EXPECT_TRUE(tree.DeleteItem(hLast));
    EXPECT_EQ(tree.GetNextSiblingItem(hCall3), nullptr);
    HTREEITEM hNew = tree.InsertItem("NEW2", hLine);
    EXPECT_EQ(tree.GetNextSiblingItem(hCall3), hNew);

    EXPECT_TRUE(tree.DeleteItem(TVI_ROOT));
    EXPECT_EQ(tree.GetCount(), 0u);
    EXPECT_EQ(tree.GetRootItem(), nullptr);
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
    // Not recursive.
    EXPECT_EQ(tree.GetChildTexts(h99), (Texts{"b", "A"}));
    // The links follow the new order both ways.
    HTREEITEM hFirst = tree.GetChildItem(hRoot);
    EXPECT_EQ(tree.GetNextItem(hFirst, TVGN_PREVIOUS), nullptr);
    int nBackwards = 0;
    HTREEITEM hLast = hFirst;
    while (tree.GetNextSiblingItem(hLast)) hLast = tree.GetNextSiblingItem(hLast);
    for (HTREEITEM h = hLast; h; h = tree.GetNextItem(h, TVGN_PREVIOUS)) ++nBackwards;
    EXPECT_EQ(nBackwards, 7);
    // Appending after a sort goes to the end.
    tree.InsertItem("0", hRoot);
    EXPECT_EQ(tree.GetChildTexts(hRoot).back(), "0");
    EXPECT_FALSE(tree.SortChildren(reinterpret_cast<HTREEITEM>(0x7777)));
}

TEST(MemoryTreeCtrl, RecordsExpansionVisibilityAndSelection) {
    CMemoryTreeCtrl tree;
    HTREEITEM hRoot = tree.InsertItem("EXT");
    HTREEITEM hLine = tree.InsertItem("201", hRoot);
    HTREEITEM hCall = tree.InsertItem("NEW", hLine);
    HTREEITEM hDetail = tree.InsertItem("Trunk = ", hCall);
    HTREEITEM hOther = tree.InsertItem("ETC");

    EXPECT_FALSE(tree.IsExpanded(hRoot));
    // Only the roots are on screen until something is expanded.
    EXPECT_EQ(tree.GetVisibleItems(), (std::vector<HTREEITEM>{hRoot, hOther}));

    EXPECT_TRUE(tree.EnsureVisible(hDetail));
    EXPECT_TRUE(tree.WasMadeVisible(hDetail));
    EXPECT_FALSE(tree.WasMadeVisible(hCall));
    EXPECT_TRUE(tree.IsExpanded(hRoot));
    EXPECT_TRUE(tree.IsExpanded(hLine));
    EXPECT_TRUE(tree.IsExpanded(hCall));
    EXPECT_FALSE(tree.IsExpanded(hDetail));
    EXPECT_EQ(tree.GetVisibleItems(), (std::vector<HTREEITEM>{hRoot, hLine, hCall, hDetail, hOther}));

    EXPECT_TRUE(tree.Expand(hCall, TVE_COLLAPSE));
    EXPECT_FALSE(tree.IsExpanded(hCall));
    EXPECT_TRUE(tree.Expand(hCall, TVE_EXPAND | TVE_COLLAPSE));
    EXPECT_TRUE(tree.IsExpanded(hCall));
    tree.Expand(hLine, TVE_COLLAPSE);

    // Rows: EXT, 201, ETC.
    const int h = CMemoryTreeCtrl::kRowHeight;
    EXPECT_EQ(tree.HitTest(5, 0), hRoot);
    EXPECT_EQ(tree.HitTest(5, h + h - 1), hLine);
    EXPECT_EQ(tree.HitTest(5, 2 * h), hOther);
    EXPECT_EQ(tree.HitTest(5, 3 * h), nullptr);
    EXPECT_EQ(tree.HitTest(-1, 0), nullptr);

    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    EXPECT_TRUE(tree.SelectItem(hLine));
    EXPECT_EQ(tree.GetSelectedItem(), hLine);
    EXPECT_FALSE(tree.SelectItem(reinterpret_cast<HTREEITEM>(0x7777)));
    EXPECT_EQ(tree.GetSelectedItem(), hLine);
    // Deleting an ancestor of the selection clears it.
    tree.DeleteItem(hRoot);
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    EXPECT_EQ(tree.GetCount(), 1u);
}

}  // namespace
