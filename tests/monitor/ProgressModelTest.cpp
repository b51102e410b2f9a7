// The percentage and Cancel logic of the start-up progress display.
#include <gtest/gtest.h>

#include "views/ProgressModel.h"

TEST(ProgressModel, PercentageFollowsTheRange) {
    CProgressModel model;
    EXPECT_EQ(model.GetPercentText(), " 0 %");  // until the first position update
    model.SetRange(0, 100);
    model.SetPosition(0);
    EXPECT_EQ(model.GetPercentText(), "0%");
    model.SetPosition(20);
    EXPECT_EQ(model.GetPercentText(), "20%");
    model.SetPosition(33);
    EXPECT_EQ(model.GetPercentText(), "33%");
    model.SetPosition(100);
    EXPECT_EQ(model.GetPercentText(), "100%");
    // Beyond the end wraps round rather than showing more than 100.
    model.SetPosition(150);
    EXPECT_EQ(model.GetPercentText(), "50%");
    model.SetPosition(200);
    EXPECT_EQ(model.GetPercentText(), "0%");

    model.SetRange(0, 200);
    model.SetPosition(150);
    EXPECT_EQ(model.GetPercentText(), "75%");
    // Truncating division: 1/200 of the way is 0 %, 199/200 is 99 %.
    model.SetPosition(1);
    EXPECT_EQ(model.GetPercentText(), "0%");
    model.SetPosition(199);
    EXPECT_EQ(model.GetPercentText(), "99%");

    model.SetRange(50, 150);
    model.SetPosition(75);
    EXPECT_EQ(model.GetPercentText(), "25%");
    // Below the range the signed remainder is negative, truncated towards zero.
    model.SetPosition(49);
    EXPECT_EQ(model.GetPercentText(), "-1%");
}

TEST(ProgressModel, OddRangesDoNotCrash) {
    EXPECT_EQ(CProgressModel::PercentText(10, 7, 7), "0%");  // empty range: no division by zero
    EXPECT_EQ(CProgressModel::PercentText(0x7FFFFFFF, 0, 100), "47%");  // no signed overflow
    EXPECT_EQ(CProgressModel::PercentText(-0x7FFFFFFF - 1, 0, 100), "-48%");
}

TEST(ProgressModel, TextChangesOnlyWhenThePercentageDoes) {
    CProgressModel model;
    EXPECT_TRUE(model.RefreshPercent(40));
    EXPECT_FALSE(model.RefreshPercent(40));  // same position: nothing to repaint
    EXPECT_EQ(model.GetPercentText(), "40%");
    model.SetRange(0, 1000);
    EXPECT_FALSE(model.RefreshPercent(405));  // different position, same text
    EXPECT_TRUE(model.RefreshPercent(410));
    EXPECT_EQ(model.GetPercentText(), "41%");
}

TEST(ProgressModel, PositionAndRange) {
    CProgressModel model;
    EXPECT_EQ(model.GetRangeLow(), 0);
    EXPECT_EQ(model.GetRangeHigh(), 100);
    EXPECT_EQ(model.SetPosition(20), 0);
    EXPECT_EQ(model.SetPosition(26), 20);
    EXPECT_EQ(model.GetPosition(), 26);
    model.SetRange(10, 60);
    EXPECT_EQ(model.GetRangeLow(), 10);
    EXPECT_EQ(model.GetRangeHigh(), 60);
}

TEST(ProgressModel, CancelIsReportedOnceAndCleared) {
    CProgressModel model;
    EXPECT_FALSE(model.TakeCancel());
    model.PressCancel();
    model.PressCancel();  // twice between two queries counts as one
    EXPECT_TRUE(model.TakeCancel());
    EXPECT_FALSE(model.TakeCancel());
    model.PressCancel();
    EXPECT_TRUE(model.TakeCancel());
}
