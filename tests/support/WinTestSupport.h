// Helpers for the window tests: running the thread's messages the way the
// program's loop does, answering dialog boxes from inside their modal loops,
// reading the trees, pressing keys, and saving a window as a PNG file.
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
// modal loop: each dialog box that `match` accepts gets `action` once, with
// the number of dialogs answered before it.
class CDialogAnswerer {
public:
    CDialogAnswerer(std::function<bool(HWND)> match, std::function<void(HWND, int)> action);
    ~CDialogAnswerer();
    CDialogAnswerer(const CDialogAnswerer&) = delete;
    CDialogAnswerer& operator=(const CDialogAnswerer&) = delete;

    int GetCount() const { return m_nAnswered; }

    // Dialog boxes by their title, and Yes/No message boxes (which carry
    // their text in the static control 0xFFFF).
    static std::function<bool(HWND)> TitleIs(const std::string& strTitle);
    static std::function<bool(HWND)> IsMessageBox();

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Poll();

    std::function<bool(HWND)> m_match;
    std::function<void(HWND, int)> m_action;
    std::set<HWND> m_handled;
    int m_nAnswered = 0;
    UINT_PTR m_nTimer = 0;
};

// Fills in the common Save dialog's file name and presses Save; returns the
// name the dialog offered.
std::string AnswerSaveDialog(HWND hDlg, const std::string& strPath);
// The whole content of a file, or "<missing>" when it cannot be read.
std::string ReadWholeFile(const std::string& strPath);

// The text of a dialog box's control.
std::string ControlText(HWND hDlg, int nId);
// Presses a dialog button the way a click does (posted, so it runs in the loop).
void PostClick(HWND hDlg, int nId);

// Children of an item (TVI_ROOT: the top level) and their texts, in order.
std::vector<HTREEITEM> ChildItems(HWND hTree, HTREEITEM hParent);
std::vector<std::string> ChildTexts(HWND hTree, HTREEITEM hParent);
std::string ItemText(HWND hTree, HTREEITEM hItem);
// The first child of hParent with that text, or null.
HTREEITEM FindChild(HWND hTree, HTREEITEM hParent, const std::string& strText);

// Holds modifier keys down for the thread while it exists.
class CHeldKeys {
public:
    explicit CHeldKeys(std::vector<BYTE> keys);
    ~CHeldKeys();

private:
    BYTE m_saved[256];
};
// Posts a key press (down and up) to a window.
void PostKey(HWND hWnd, UINT nVirtualKey);

// What a window shows on the screen at this moment, as rows of RGB bytes:
// its client area, or the whole window with frame and menu.
struct SPixels {
    int nWidth = 0;
    int nHeight = 0;
    std::vector<BYTE> rgb;
    bool operator==(const SPixels&) const = default;
};
SPixels CapturePixels(HWND hWnd, bool bClientOnly);
bool SavePng(const SPixels& pixels, const std::string& strPath);
// Saves what the window shows (frame, menu and children), freshly painted,
// as a PNG file.
bool SaveWindowPng(HWND hWnd, const std::string& strPath);
// The bytes of a PNG file of a 24-bit picture given as rows of RGB bytes.
std::vector<BYTE> EncodePng(int nWidth, int nHeight, const std::vector<BYTE>& rgb);

}  // namespace wintest
