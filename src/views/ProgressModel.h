// The part of the start-up progress dialog that is not a window: its range,
// its position, the percentage text it shows and the Cancel flag. The Windows
// dialog keeps one and mirrors it into its controls, so the arithmetic is the
// same everywhere and testable without a window.
#pragma once

#include <string>

#include "platform/WinTypes.h"

class CProgressModel {
public:
    // What the percentage control shows before the first position update.
    static constexpr const char* kInitialPercentText = " 0 %";

    // The percentage for a position: truncating division in the range,
    // exactly 100 shown as 100 and anything beyond wrapping modulo 100
    // ("150%" would be nonsense next to a full bar). An empty range gives 0.
    static int PercentOf(int nPos, int nLow, int nHigh);
    static std::string PercentText(int nPos, int nLow, int nHigh);

    void SetRange(int nLow, int nHigh);
    int GetRangeLow() const { return m_nRangeLow; }
    int GetRangeHigh() const { return m_nRangeHigh; }

    // Moves to the position and refreshes the percentage; returns the
    // previous position.
    int SetPosition(int nPos);
    int GetPosition() const { return m_nPos; }

    // Recomputes the percentage text for the position; TRUE only when the
    // text changed, so the dialog repaints its control only then.
    BOOL RefreshPercent(int nPos);
    const std::string& GetPercentText() const { return m_strPercent; }

    // The Cancel button (or Escape, or the close box) was pressed.
    void PressCancel() { m_bCancelPressed = TRUE; }
    // Whether Cancel was pressed since the last query; clears the flag, so
    // several presses between two queries count as one.
    BOOL TakeCancel();

private:
    int m_nRangeLow = 0;
    int m_nRangeHigh = 100;
    int m_nPos = 0;
    BOOL m_bCancelPressed = FALSE;
    std::string m_strPercent = kInitialPercentText;
};
