// The deferred tree must answer as if every change reached the control at
// once, and the control must show exactly that tree after a flush, having
// seen only the net effect of the changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sim/SimTestData.h"
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

// trees.txt: steps on a tree, one a line. The first says which: "memory" for
// an in-memory tree, "deferred" for a deferred tree over a counting one. Then
// "insert PARENT NAME TEXT" (items are named as they come; "root" is the top
// level, "stranger" a handle of no tree), "text NAME TEXT", "expand NAME
// open|shut|toggle", "select", "visible", "sort", "delete" or "item" and a NAME,
// "selected", "hit X Y", "flush", "follow 0|1", "repeat N" up to "end", and
// "other" before a step for a second in-memory tree. A step that fails is
// written out, "item", "selected" and "hit" with the item's text (or "none");
// "dump" writes the shown tree (Dump with its state) and the tree's count,
// "counts" the inserts, texts and deletes that reached the shown control and
// the requests for a flush since the last counts, and whether changes wait.
TEST(Trees, StepsLeaveTheShownTreeAndReachItOnlyWithTheNetEffect) {
    ExpectDataFileAt(std::string(LSC_GOLDEN_DIR) + "/trees.txt", [](const std::string& strInput) {
        CCountingTree shown;
        CMemoryTreeCtrl other;
        int nAsked = 0;
        CDeferredTreeCtrl deferred(&shown, [&nAsked] { ++nAsked; });
        std::vector<std::string> steps;
        std::istringstream lines(strInput);
        for (std::string strLine; std::getline(lines, strLine);) steps.push_back(strLine);
        CTreeCtrl& own = steps[0] == "deferred" ? static_cast<CTreeCtrl&>(deferred) : shown;
        std::map<std::string, HTREEITEM> items = {{"root", TVI_ROOT},
                                                  {"stranger", reinterpret_cast<HTREEITEM>(0x7777)}};
        std::string strOut;
        for (std::size_t i = 1; i < steps.size(); ++i) {
            std::istringstream words(steps[i]);
            std::string strVerb, strName, strRest, strResult;
            words >> strVerb;
            CTreeCtrl& t = strVerb == "other" && words >> strVerb ? other : own;
            words >> strName >> std::ws;
            std::getline(words, strRest);
            const HTREEITEM h = items.count(strName) ? items[strName] : nullptr;
            BOOL bOk = TRUE;
            if (strVerb == "repeat") {
                const std::size_t nEnd = std::find(steps.begin() + i, steps.end(), "end") - steps.begin();
                const std::vector<std::string> body(steps.begin() + i + 1, steps.begin() + nEnd);
                steps.erase(steps.begin() + nEnd);
                for (int n = std::stoi(strName); n > 1; --n)
                    steps.insert(steps.begin() + nEnd, body.begin(), body.end());
            } else if (strVerb == "insert") {
                const std::size_t nSpace = strRest.find(' ');
                bOk = (items[strRest.substr(0, nSpace)] = t.InsertItem(strRest.substr(nSpace + 1), h)) != nullptr;
            } else if (strVerb == "item" || strVerb == "selected" || strVerb == "hit") {
                const HTREEITEM hFound = strVerb == "item"  ? h
                                         : strVerb == "hit" ? t.HitTest(std::stoi(strName), std::stoi(strRest))
                                                            : t.GetSelectedItem();
                strResult = hFound ? std::string("\"").append(t.GetItemText(hFound)) + "\"" : "none";
            } else if (strVerb == "flush" || strVerb == "follow") {
                strVerb == "flush" ? deferred.Flush() : deferred.SetFollowEvents(strName == "1");
            } else if (strVerb == "dump") {
                strResult = Dump(shown, TVI_ROOT, true) + " | " + std::to_string(t.GetCount()) + " items";
            } else if (strVerb == "counts") {
                for (int* pCount : {&shown.nInserts, &shown.nTexts, &shown.nDeletes, &nAsked})
                    strResult += std::to_string(std::exchange(*pCount, 0)) + " ";
                strResult += deferred.HasChanges() ? "changes" : "no changes";
            } else {
                const UINT nCode = strRest == "open"   ? TVE_EXPAND
                                   : strRest == "shut" ? TVE_COLLAPSE
                                                       : TVE_EXPAND | TVE_COLLAPSE;
                bOk = strVerb == "text"      ? t.SetItemText(h, strRest)
                      : strVerb == "expand"  ? t.Expand(h, nCode)
                      : strVerb == "select"  ? t.SelectItem(h)
                      : strVerb == "visible" ? t.EnsureVisible(h)
                      : strVerb == "sort"    ? t.SortChildren(h)
                      : strVerb == "delete"  ? t.DeleteItem(h)
                                             : FALSE;  // no such step
            }
            if (!bOk || !strResult.empty()) strOut += steps[i] + ": " + (bOk ? strResult : "failed") + "\n";
        }
        return strOut;
    });
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

}  // namespace
