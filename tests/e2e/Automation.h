// Driving a running Linoscope3.exe from another process, the way a person at
// the screen would see it: its windows, its trees read across the process
// boundary, its dialogs, clicks and typed keys, and pictures of the screen.
#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// Polls the condition every 50 ms until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs);

// One item of a tree as read from the control: its text, its item data and
// its children in the control's order.
struct CTreeNode {
    HTREEITEM m_hItem = nullptr;
    std::string m_strText;
    LPARAM m_lParam = 0;
    std::vector<CTreeNode> m_children;

    const CTreeNode* FindChild(const std::string& strText) const;
};

// A SysTreeView32 of another process.
class CRemoteTree {
public:
    CRemoteTree(HANDLE hProcess, HWND hTree) : m_hProcess(hProcess), m_hTree(hTree) {}

    // Every item from the top level down.
    std::vector<CTreeNode> ReadAll() const;
    HTREEITEM GetSelected() const;
    // Clicks the item's label with the left button (select and focus, as a
    // person does); FALSE when the item has no visible rectangle.
    bool ClickItem(HTREEITEM hItem) const;

private:
    void ReadChildren(HTREEITEM hParent, std::vector<CTreeNode>* pChildren, int nDepth) const;

    HANDLE m_hProcess;
    HWND m_hTree;
};

// The visible top-level windows of a process, optionally only those with the title.
std::vector<HWND> TopLevelWindows(DWORD dwProcessId, const char* pszTitle = nullptr);
// The text of a window of any process (WM_GETTEXT crosses the boundary).
std::string WindowText(HWND hWnd);
// Presses a dialog button (posted, so it runs in the owner's loop).
void PressButton(HWND hDlg, int nId);
// Types the text into a control one character at a time.
void TypeText(HWND hControl, const std::string& strText);

// Saves what the screen shows (the whole virtual desktop) as a 24-bit BMP file.
bool SaveScreenBmp(const std::string& strPath);

}  // namespace e2e
