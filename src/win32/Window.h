// The thin layer this program keeps over Win32: a window object bound to its
// HWND, a dialog object bound to its dialog box, and the thread's main window.
// It holds only what the program's own windows use.
#pragma once

#include <string>

#include "platform/WinTypes.h"

// The main window of the program (the frame once the first start-up is over);
// null before that and after the frame is destroyed.
HWND GetMainWindow();
void SetMainWindow(HWND hWnd);

// Moves a window (a dialog, as it opens) to the centre of its owner when the
// owner is shown, else of the main window when that is shown, else of the
// screen's work area; it stays on the screen.
void CenterOverOwner(HWND hWnd);

// The text of a window or control as 8-bit text.
std::string GetWindowTextString(HWND hWnd);

// A window whose messages go to a C++ object: either a window of a class this
// program registers (Create) or a control of the system's that it subclasses
// (Attach). The object outlives its HWND; after WM_NCDESTROY m_hWnd is null.
class CWindow {
public:
    CWindow() = default;
    virtual ~CWindow();
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    HWND GetHwnd() const { return m_hWnd; }

    // Registers a window class whose procedure dispatches to the object;
    // repeated registrations of the same name succeed.
    static BOOL RegisterWindowClass(HINSTANCE hInstance, LPCSTR pszClass, UINT nStyle, HCURSOR hCursor,
                                    HBRUSH hBackground, HICON hIcon);
    // Creates a window of a class registered above, bound to this object.
    BOOL Create(HINSTANCE hInstance, LPCSTR pszClass, LPCSTR pszTitle, DWORD dwStyle, DWORD dwExStyle, int x, int y,
                int cx, int cy, HWND hParent, HMENU hMenuOrId);
    // Creates a window of a system class (for example a control) and routes
    // its messages through this object first.
    BOOL CreateSubclassed(HINSTANCE hInstance, LPCSTR pszClass, DWORD dwStyle, DWORD dwExStyle, HWND hParent, UINT nId);

protected:
    // Everything not handled goes to Default.
    virtual LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // The processing the window would get without this object.
    LRESULT Default(UINT uMsg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK StaticSubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR uIdSubclass,
                                               DWORD_PTR dwRefData);
    LRESULT Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam);

    BOOL m_bSubclassed = FALSE;
};

// A dialog box made from a dialog template of the program's resources, modal
// (DoModal) or modeless (CreateModeless).
class CDialogBox {
public:
    explicit CDialogBox(UINT nTemplateId) : m_nTemplateId(nTemplateId) {}
    virtual ~CDialogBox();
    CDialogBox(const CDialogBox&) = delete;
    CDialogBox& operator=(const CDialogBox&) = delete;

    // Runs the dialog modally; IDOK, IDCANCEL or -1 when it could not be made.
    // A null owner means the main window, as for every dialog of the program.
    INT_PTR DoModal(HWND hOwner = nullptr);
    // Creates the dialog as a modeless window; FALSE when that fails.
    BOOL CreateModeless(HWND hParent);

    HWND GetHwnd() const { return m_hWnd; }
    UINT GetTemplateId() const { return m_nTemplateId; }

protected:
    // Called once the controls exist; TRUE lets the system set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // IDOK and IDCANCEL end a modal dialog.
    virtual void OnOK() { EndModal(IDOK); }
    virtual void OnCancel() { EndModal(IDCANCEL); }
    // TRUE when the command was handled.
    virtual BOOL OnCommand(WORD wId, WORD wCode, HWND hControl);
    // Messages other than the ones above; FALSE for the dialog manager's default.
    virtual INT_PTR DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam);

    void EndModal(INT_PTR nResult);
    HWND GetItem(int nId) const { return GetDlgItem(m_hWnd, nId); }

    HWND m_hWnd = nullptr;
    BOOL m_bModal = FALSE;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    UINT m_nTemplateId;
};
