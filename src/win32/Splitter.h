// A static splitter of one row and a fixed number of columns: each column
// holds one pane window, and the bars between them can be dragged with the
// mouse. A column keeps the width it was given or dragged to; the last one
// takes whatever room is left. The splitter remembers which pane is active
// (the one the user last worked in), as the frame asks for it.
#pragma once

#include <vector>

#include "win32/Window.h"

class CSplitter : public CWindow {
public:
    BOOL Create(HINSTANCE hInstance, HWND hParent, UINT nId, int nColumns);

    // Puts hPane into the column with its initial width.
    void SetPane(int nColumn, HWND hPane, int nIdealWidth);
    HWND GetPane(int nColumn) const;
    // The width a column was given or dragged to (the last one's is what
    // it was given; it shows whatever room is left).
    int GetColumnWidth(int nColumn) const;
    void SetColumnWidth(int nColumn, int nWidth);
    int GetColumnCount() const { return static_cast<int>(m_panes.size()); }
    // The column of the active pane, or -1 when no pane has been active yet.
    int GetActiveColumn() const { return m_nActive; }
    void SetActiveColumn(int nColumn);
    // The column holding hWnd or one of its children, or -1.
    int FindColumn(HWND hWnd) const;

    // Width of the bars between the panes, in pixels.
    int GetBarWidth() const;
    // Lays the panes out in the client area again.
    void RecalcLayout();

protected:
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    struct SPane {
        HWND hWnd = nullptr;
        int nWidth = 0;
    };

    // Left edge of a column in client coordinates, from the current widths.
    int GetColumnLeft(int nColumn) const;
    // The bar under a client x coordinate (bar i lies right of column i), or -1.
    int HitBar(int x) const;
    void DragBarTo(int x);

    std::vector<SPane> m_panes;
    int m_nActive = -1;
    int m_nDragBar = -1;
    int m_nDragOffset = 0;
};
