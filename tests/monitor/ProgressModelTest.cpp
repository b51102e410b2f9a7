// The percentage and Cancel logic of the start-up progress display.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "views/ProgressModel.h"

TEST(ProgressModel, PercentageTruncatesAndWrapsAboveTheRange) {
    EXPECT_EQ(CProgressModel().GetPercentText(), " 0 %");  // until the first position update
    // "low high position text". Below the range: truncated towards zero; an
    // empty range: no division by zero; the extremes: no signed overflow.
    for (const char* pszCase : {"0 100 0 0%", "0 100 33 33%", "0 100 100 100%", "0 100 150 50%", "0 100 200 0%",
                                "0 200 150 75%", "0 200 1 0%", "0 200 199 99%", "50 150 75 25%", "50 150 49 -1%",
                                "7 7 10 0%", "0 100 2147483647 47%", "0 100 -2147483648 -48%"}) {
        int nLow = 0, nHigh = 0, nPos = 0;
        std::string strText;
        std::istringstream(pszCase) >> nLow >> nHigh >> nPos >> strText;
        CProgressModel model;
        model.SetRange(nLow, nHigh);
        model.SetPosition(nPos);
        EXPECT_EQ(model.GetPercentText(), strText) << pszCase;
    }
}

// The position is returned, the text changes only with the percentage, and
// Cancel is reported once, however often it was pressed.
TEST(ProgressModel, PositionTextAndCancel) {
    CProgressModel model;
    EXPECT_EQ(model.SetPosition(20), 0);
    EXPECT_EQ(model.SetPosition(26), 20);
    EXPECT_TRUE(model.RefreshPercent(40));
    EXPECT_FALSE(model.RefreshPercent(40));  // same position: nothing to repaint
    EXPECT_EQ(model.GetPercentText(), "40%");
    model.SetRange(0, 1000);
    EXPECT_FALSE(model.RefreshPercent(405));  // different position, same text
    EXPECT_TRUE(model.RefreshPercent(410));
    EXPECT_EQ(model.GetPercentText(), "41%");
    EXPECT_FALSE(model.TakeCancel());
    model.PressCancel();
    model.PressCancel();
    EXPECT_TRUE(model.TakeCancel());
    EXPECT_FALSE(model.TakeCancel());
}
