// The main window: title "Linoscope3", menu and accelerators 128, and a
// 1 x 3 splitter with the CO, EXT and ETC views from left to right. It routes
// commands to the active view first, then handles its own (close, panes) and
// hands the rest to the application; WM_CONTEXTMENU goes to the active view.
// Once a second it lets the document's event log retry its waiting records.
#pragma once

#include <memory>

#include "app/Splitter.h"
#include "app/Window.h"
#include "views/win/LineView.h"

class CLinoscopeApp;
class CLinoscopeDoc;

class CMainFrame : public CWindow, public CViewHost {
public:
    static constexpr int kCoColumn = 0;
    static constexpr int kExtColumn = 1;
    static constexpr int kEtcColumn = 2;

    CMainFrame(CLinoscopeApp* pApp, CLinoscopeDoc* pDocument);
    ~CMainFrame() override;

    // Creates the frame, hidden, with its splitter and the three views.
    BOOL Create(HINSTANCE hInstance);

    // Every view's initial update, CO first (after every new document).
    void InitialUpdateFrame();
    // Refreshes every view.
    void UpdateAllViews();

    // CViewHost
    CLinoscopeDoc* GetDocument() override { return m_pDocument; }
    void OnViewActivated(CLineView* pView) override;

    // The active document: the frame's document while the frame exists.
    CLinoscopeDoc* GetActiveDocument() const;
    // The view of the splitter's active pane, or null.
    CLineView* GetActiveView() const;

    CSplitter& GetSplitter() { return m_wndSplitter; }
    CCoView* GetCoView() const { return m_pCoView.get(); }
    CExtView* GetExtView() const { return m_pExtView.get(); }
    CEtcView* GetEtcView() const { return m_pEtcView.get(); }
    HACCEL GetAccelerators() const { return m_hAccel; }

    // Gives a WM_COMMAND to the active view, then to the frame, then to the
    // application; TRUE when someone handled it.
    BOOL RouteCommand(UINT nId);

protected:
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    BOOL OnCreateClient();
    void OnContextMenu(HWND hWnd, POINT pt);
    // F6 and Shift+F6: the focus moves to the next or previous pane.
    void ActivateNextPane(BOOL bPrevious);
    CLineView* GetViewOfColumn(int nColumn) const;

    CLinoscopeApp* m_pApp;
    CLinoscopeDoc* m_pDocument;
    HINSTANCE m_hInstance = nullptr;
    HACCEL m_hAccel = nullptr;
    CSplitter m_wndSplitter;
    std::unique_ptr<CCoView> m_pCoView;
    std::unique_ptr<CExtView> m_pExtView;
    std::unique_ptr<CEtcView> m_pEtcView;
};
