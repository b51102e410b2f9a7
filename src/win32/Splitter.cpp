#include "win32/Splitter.h"

#include <algorithm>

namespace {

constexpr char kSplitterClass[] = "Linoscope3Splitter";

}  // namespace

BOOL CSplitter::Create(HINSTANCE hInstance, HWND hParent, UINT nId, int nColumns) {
    if (nColumns <= 0) return FALSE;
    if (!RegisterWindowClass(hInstance, kSplitterClass, CS_HREDRAW | CS_VREDRAW, LoadCursor(nullptr, IDC_ARROW),
                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), nullptr)) {
        return FALSE;
    }
    m_panes.assign(static_cast<size_t>(nColumns), SPane{});
    RECT rc{};
    GetClientRect(hParent, &rc);
    return CWindow::Create(hInstance, kSplitterClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, rc.right,
                           rc.bottom, hParent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nId)));
}

void CSplitter::SetPane(int nColumn, HWND hPane, int nIdealWidth) {
    if (nColumn < 0 || nColumn >= GetColumnCount()) return;
    m_panes[static_cast<size_t>(nColumn)].hWnd = hPane;
    m_panes[static_cast<size_t>(nColumn)].nWidth = std::max(0, nIdealWidth);
    RecalcLayout();
}

HWND CSplitter::GetPane(int nColumn) const {
    if (nColumn < 0 || nColumn >= GetColumnCount()) return nullptr;
    return m_panes[static_cast<size_t>(nColumn)].hWnd;
}

int CSplitter::GetColumnWidth(int nColumn) const {
    if (nColumn < 0 || nColumn >= GetColumnCount()) return 0;
    return m_panes[static_cast<size_t>(nColumn)].nWidth;
}

void CSplitter::SetColumnWidth(int nColumn, int nWidth) {
    if (nColumn < 0 || nColumn >= GetColumnCount()) return;
    m_panes[static_cast<size_t>(nColumn)].nWidth = std::max(0, nWidth);
    RecalcLayout();
}

void CSplitter::SetActiveColumn(int nColumn) {
    if (nColumn >= -1 && nColumn < GetColumnCount()) m_nActive = nColumn;
}

int CSplitter::FindColumn(HWND hWnd) const {
    for (int i = 0; i < GetColumnCount(); ++i) {
        HWND hPane = m_panes[static_cast<size_t>(i)].hWnd;
        if (hPane != nullptr && hWnd != nullptr && (hWnd == hPane || IsChild(hPane, hWnd))) return i;
    }
    return -1;
}

int CSplitter::GetBarWidth() const {
    // Thick enough to grab, scaled with the screen's resolution.
    return std::max(4, GetSystemMetrics(SM_CXSIZEFRAME) + 1);
}

int CSplitter::GetColumnLeft(int nColumn) const {
    int x = 0;
    for (int i = 0; i < nColumn && i < GetColumnCount(); ++i)
        x += m_panes[static_cast<size_t>(i)].nWidth + GetBarWidth();
    return x;
}

void CSplitter::RecalcLayout() {
    if (m_hWnd == nullptr) return;
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    const int nBar = GetBarWidth();
    const int nCount = GetColumnCount();
    int x = 0;
    for (int i = 0; i < nCount; ++i) {
        SPane& pane = m_panes[static_cast<size_t>(i)];
        int nRoom = std::max(0, static_cast<int>(rc.right) - x);
        int nWidth = (i == nCount - 1) ? nRoom : std::min(pane.nWidth, nRoom);
        if (pane.hWnd != nullptr) MoveWindow(pane.hWnd, x, 0, nWidth, rc.bottom, TRUE);
        x += nWidth + nBar;
    }
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

int CSplitter::HitBar(int x) const {
    const int nBar = GetBarWidth();
    for (int i = 0; i + 1 < GetColumnCount(); ++i) {
        int nLeft = GetColumnLeft(i) + m_panes[static_cast<size_t>(i)].nWidth;
        if (x >= nLeft && x < nLeft + nBar) return i;
    }
    return -1;
}

void CSplitter::DragBarTo(int x) {
    const int i = m_nDragBar;
    if (i < 0 || i + 1 >= GetColumnCount()) return;
    SPane& left = m_panes[static_cast<size_t>(i)];
    SPane& right = m_panes[static_cast<size_t>(i) + 1];
    const int nLeftEdge = GetColumnLeft(i);
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    // The bar moves between the left column's left edge and the right
    // column's right edge; the last column simply takes what is left.
    const bool bRightIsLast = i + 2 == GetColumnCount();
    const int nRightEdge = bRightIsLast ? static_cast<int>(rc.right) : GetColumnLeft(i + 1) + right.nWidth;
    const int nMaxWidth = std::max(0, nRightEdge - nLeftEdge - GetBarWidth());
    const int nNewWidth = std::clamp(x - m_nDragOffset - nLeftEdge, 0, nMaxWidth);
    if (!bRightIsLast) right.nWidth = std::max(0, right.nWidth + left.nWidth - nNewWidth);
    left.nWidth = nNewWidth;
    RecalcLayout();
}

LRESULT CSplitter::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_SIZE:
            RecalcLayout();
            return 0;
        case WM_NOTIFY:
            // The panes' notifications are their owner's business.
            return SendMessageA(GetParent(m_hWnd), WM_NOTIFY, wParam, lParam);
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == m_hWnd && LOWORD(lParam) == HTCLIENT) {
                POINT pt{};
                GetCursorPos(&pt);
                ScreenToClient(m_hWnd, &pt);
                if (HitBar(pt.x) >= 0 || m_nDragBar >= 0) {
                    SetCursor(LoadCursor(nullptr, IDC_SIZEWE));
                    return TRUE;
                }
            }
            break;
        case WM_LBUTTONDOWN: {
            int x = static_cast<short>(LOWORD(lParam));
            int nBar = HitBar(x);
            if (nBar >= 0) {
                m_nDragBar = nBar;
                m_nDragOffset = x - (GetColumnLeft(nBar) + m_panes[static_cast<size_t>(nBar)].nWidth);
                SetCapture(m_hWnd);
                SetCursor(LoadCursor(nullptr, IDC_SIZEWE));
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            if (m_nDragBar >= 0) DragBarTo(static_cast<short>(LOWORD(lParam)));
            return 0;
        case WM_LBUTTONUP:
            if (m_nDragBar >= 0) {
                DragBarTo(static_cast<short>(LOWORD(lParam)));
                m_nDragBar = -1;
                ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            m_nDragBar = -1;
            return 0;
        default:
            break;
    }
    return Default(uMsg, wParam, lParam);
}
