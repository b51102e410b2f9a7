#include "views/ProgressModel.h"

#include <cstdint>
#include <cstdio>

int CProgressModel::PercentOf(int nPos, int nLow, int nHigh) {
    if (nHigh == nLow) return 0;
    // 64-bit so that a far-out position cannot overflow; within the bar's
    // 16-bit range this is the same as the 32-bit arithmetic.
    const std::int64_t nPercent =
        (static_cast<std::int64_t>(nPos) - nLow) * 100 / (static_cast<std::int64_t>(nHigh) - nLow);
    if (nPercent == 100) return 100;
    return static_cast<int>(nPercent % 100);
}

std::string CProgressModel::PercentText(int nPos, int nLow, int nHigh) {
    char szText[16];
    std::snprintf(szText, sizeof szText, "%d%c", PercentOf(nPos, nLow, nHigh), '%');
    return szText;
}

void CProgressModel::SetRange(int nLow, int nHigh) {
    m_nRangeLow = nLow;
    m_nRangeHigh = nHigh;
}

int CProgressModel::SetPosition(int nPos) {
    const int nPrevious = m_nPos;
    m_nPos = nPos;
    RefreshPercent(nPos);
    return nPrevious;
}

BOOL CProgressModel::RefreshPercent(int nPos) {
    std::string strText = PercentText(nPos, m_nRangeLow, m_nRangeHigh);
    if (strText == m_strPercent) return FALSE;
    m_strPercent = std::move(strText);
    return TRUE;
}

BOOL CProgressModel::TakeCancel() {
    const BOOL bPressed = m_bCancelPressed;
    m_bCancelPressed = FALSE;
    return bPressed;
}
