// Helpers for the window tests: running the thread's messages the way the
// program's loop does, answering dialog boxes from inside their modal loops,
// reading the trees, pressing keys, and reading what a window shows.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

class CLinoscopeApp;

namespace wintest {

// Runs every pending message of the thread (through the application's
// accelerators when an application is given) until the queue is empty.
// Returns TRUE when a WM_QUIT was among them.
BOOL PumpMessages(CLinoscopeApp* pApp = nullptr);
// Pumps until the condition holds or the time is up; returns the condition.
bool PumpUntil(const std::function<bool()>& condition, CLinoscopeApp* pApp = nullptr, DWORD dwTimeoutMs = 5000);
// Throws away everything queued, WM_QUIT included, so the next test starts clean.
void DrainQueue();

// Answers dialog boxes of this thread from a timer, which runs inside any
// modal loop: each visible dialog box with that title (or, for an empty
// title, each Yes/No message box) gets `action` once, with the number of
// dialogs answered before it.
class CDialogAnswerer {
public:
    CDialogAnswerer(std::string strTitle, std::function<void(HWND, int)> action);
    ~CDialogAnswerer();
    int GetCount() const { return m_nAnswered; }
    void Poll();

private:
    std::string m_strTitle;
    std::function<void(HWND, int)> m_action;
    std::set<HWND> m_handled;
    int m_nAnswered = 0;
};
// Message boxes carry their text in the static control 0xFFFF.
constexpr int kMessageText = 0xFFFF;

// Fills in the common Save dialog's file name and presses Save; returns the
// name the dialog offered.
std::string AnswerSaveDialog(HWND hDlg, const std::string& strPath);
// The text of a dialog box's control.
std::string ControlText(HWND hDlg, int nId);
// Presses a dialog button the way a click does (posted, so it runs in the loop).
void PostClick(HWND hDlg, int nId);

// Children of an item (TVI_ROOT: the top level), their texts, and the first
// child with that text (or null).
std::vector<HTREEITEM> ChildItems(HWND hTree, HTREEITEM hParent);
std::vector<std::string> ChildTexts(HWND hTree, HTREEITEM hParent);
std::string ItemText(HWND hTree, HTREEITEM hItem);
HTREEITEM FindChild(HWND hTree, HTREEITEM hParent, const std::string& strText);

// Holds modifier keys down for the thread while it exists.
class CHeldKeys {
public:
    explicit CHeldKeys(const std::vector<BYTE>& keys);
    ~CHeldKeys() { SetKeyboardState(m_saved); }

private:
    BYTE m_saved[256];
};
// Posts a key press (down and up) to a window.
void PostKey(HWND hWnd, UINT nVirtualKey);

// What the window's client area shows on the screen at this moment (not a
// fresh painting), as 32-bit pixels; empty when it cannot be read.
std::vector<BYTE> ClientPixels(HWND hWnd);

}  // namespace wintest
