#include "Automation.h"

#include <commctrl.h>

#include <cstdio>

namespace e2e {

namespace {

// Longer than any label or detail line of the program.
constexpr int kTextChars = 1024;
// Call details hang three levels below a root; deeper means a broken tree.
constexpr int kMaxDepth = 8;
// A message to another process that does not come back in this time has hung it.
constexpr UINT kSendTimeoutMs = 5000;

LRESULT SendWithTimeout(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(hWnd, uMsg, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &dwResult)) return 0;
    return static_cast<LRESULT>(dwResult);
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs) {
    for (const ULONGLONG qwEnd = GetTickCount64() + dwTimeoutMs; !condition(); Sleep(50)) {
        if (GetTickCount64() >= qwEnd) return false;
    }
    return true;
}

// --- Trees -----------------------------------------------------------------------

namespace {

// Memory in another process, freed with the object.
struct CRemoteBuffer {
    CRemoteBuffer(HANDLE hProcess, SIZE_T cb)
        : m_hProcess(hProcess),
          m_p(static_cast<char*>(VirtualAllocEx(hProcess, nullptr, cb, MEM_COMMIT, PAGE_READWRITE))) {}
    ~CRemoteBuffer() {
        if (m_p != nullptr) VirtualFreeEx(m_hProcess, m_p, 0, MEM_RELEASE);
    }
    bool Write(const void* pData, SIZE_T cb, SIZE_T offset = 0) {
        SIZE_T cbDone = 0;
        return m_p != nullptr && WriteProcessMemory(m_hProcess, m_p + offset, pData, cb, &cbDone) && cbDone == cb;
    }
    bool Read(void* pData, SIZE_T cb, SIZE_T offset = 0) const {
        SIZE_T cbDone = 0;
        return m_p != nullptr && ReadProcessMemory(m_hProcess, m_p + offset, pData, cb, &cbDone) && cbDone == cb;
    }
    LPARAM Address() const { return reinterpret_cast<LPARAM>(m_p); }

    HANDLE m_hProcess;
    char* m_p;
};

HTREEITEM NextItem(HWND hTree, UINT nFlag, HTREEITEM hItem) {
    return reinterpret_cast<HTREEITEM>(SendWithTimeout(hTree, TVM_GETNEXTITEM, nFlag, reinterpret_cast<LPARAM>(hItem)));
}

}  // namespace

const CTreeNode* CTreeNode::FindChild(const std::string& strText) const {
    for (const CTreeNode& child : m_children) {
        if (child.m_strText == strText) return &child;
    }
    return nullptr;
}

void CRemoteTree::ReadChildren(HTREEITEM hParent, std::vector<CTreeNode>* pChildren, int nDepth) const {
    if (nDepth > kMaxDepth) return;
    // One block in the target: the TVITEMA, then the text buffer it points at.
    CRemoteBuffer buffer(m_hProcess, sizeof(TVITEMA) + kTextChars);
    for (HTREEITEM hItem = NextItem(m_hTree, hParent == nullptr ? TVGN_ROOT : TVGN_CHILD, hParent); hItem != nullptr;
         hItem = NextItem(m_hTree, TVGN_NEXT, hItem)) {
        TVITEMA item{};
        item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_HANDLE;
        item.hItem = hItem;
        item.pszText = reinterpret_cast<char*>(buffer.Address()) + sizeof(TVITEMA);
        item.cchTextMax = kTextChars;
        const char zero = 0;
        char szText[kTextChars + 1] = {};
        if (!buffer.Write(&item, sizeof item) || !buffer.Write(&zero, 1, sizeof item) ||
            !SendWithTimeout(m_hTree, TVM_GETITEMA, 0, buffer.Address()) || !buffer.Read(&item, sizeof item) ||
            !buffer.Read(szText, kTextChars, sizeof item)) {
            continue;
        }
        CTreeNode node{hItem, szText, item.lParam, {}};
        ReadChildren(hItem, &node.m_children, nDepth + 1);
        pChildren->push_back(std::move(node));
    }
}

std::vector<CTreeNode> CRemoteTree::ReadAll() const {
    std::vector<CTreeNode> roots;
    ReadChildren(nullptr, &roots, 0);
    return roots;
}

HTREEITEM CRemoteTree::GetSelected() const {
    return NextItem(m_hTree, TVGN_CARET, nullptr);
}

bool CRemoteTree::ClickItem(HTREEITEM hItem) const {
    SendWithTimeout(m_hTree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem));
    // TVM_GETITEMRECT takes the item in the RECT it fills.
    CRemoteBuffer buffer(m_hProcess, sizeof(RECT));
    RECT rc{};
    if (!buffer.Write(&hItem, sizeof hItem) || !SendWithTimeout(m_hTree, TVM_GETITEMRECT, TRUE, buffer.Address()) ||
        !buffer.Read(&rc, sizeof rc)) {
        return false;
    }
    const LPARAM lPoint = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    PostMessageA(m_hTree, WM_LBUTTONDOWN, MK_LBUTTON, lPoint);
    PostMessageA(m_hTree, WM_LBUTTONUP, 0, lPoint);
    return true;
}

// --- Windows and dialogs -----------------------------------------------------------

namespace {

struct CWindowSearch {
    DWORD m_dwProcessId;
    const char* m_pszTitle;
    std::vector<HWND> m_found;
};

// A named WINAPI function: a lambda converts only to the default calling
// convention, which is not the callbacks' on 32-bit Windows.
BOOL CALLBACK CollectTopLevelWindow(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<CWindowSearch*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != pSearch->m_dwProcessId || !IsWindowVisible(hWnd)) return TRUE;
    if (pSearch->m_pszTitle != nullptr && WindowText(hWnd) != pSearch->m_pszTitle) return TRUE;
    pSearch->m_found.push_back(hWnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD dwProcessId, const char* pszTitle) {
    CWindowSearch search{dwProcessId, pszTitle, {}};
    EnumWindows(CollectTopLevelWindow, reinterpret_cast<LPARAM>(&search));
    return search.m_found;
}

std::string WindowText(HWND hWnd) {
    const auto nLength = static_cast<int>(SendWithTimeout(hWnd, WM_GETTEXTLENGTH, 0, 0));
    std::string str(static_cast<size_t>(nLength) + 1, '\0');
    const auto nCopied =
        static_cast<int>(SendWithTimeout(hWnd, WM_GETTEXT, str.size(), reinterpret_cast<LPARAM>(str.data())));
    str.resize(nCopied >= 0 && nCopied <= nLength ? static_cast<size_t>(nCopied) : 0);
    return str;
}

void PressButton(HWND hDlg, int nId) {
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
}

void TypeText(HWND hControl, const std::string& strText) {
    for (char ch : strText) PostMessageA(hControl, WM_CHAR, static_cast<unsigned char>(ch), 1);
}

// --- Screen pictures ----------------------------------------------------------------

bool SaveScreenBmp(const std::string& strPath) {
    RECT rc{};
    GetWindowRect(GetDesktopWindow(), &rc);
    const int cx = rc.right - rc.left;
    const int cy = rc.bottom - rc.top;
    if (cx <= 0 || cy <= 0) return false;
    HDC hScreen = GetDC(nullptr);
    HDC hMemory = CreateCompatibleDC(hScreen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = cy;  // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(hScreen, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    bool bOk = false;
    if (hBitmap != nullptr && pBits != nullptr) {
        HGDIOBJ hOld = SelectObject(hMemory, hBitmap);
        bOk = BitBlt(hMemory, 0, 0, cx, cy, hScreen, rc.left, rc.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(hMemory, hOld);
    }
    if (bOk) {
        const DWORD cbRow = (static_cast<DWORD>(cx) * 3 + 3) & ~3u;
        const DWORD cbBits = cbRow * static_cast<DWORD>(cy);
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + cbBits;
        info.bmiHeader.biSizeImage = cbBits;
        FILE* pFile = std::fopen(strPath.c_str(), "wb");
        bOk = pFile != nullptr && std::fwrite(&file, sizeof file, 1, pFile) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, pFile) == 1 &&
              std::fwrite(pBits, cbBits, 1, pFile) == 1;
        if (pFile != nullptr && std::fclose(pFile) != 0) bOk = false;
    }
    if (hBitmap != nullptr) DeleteObject(hBitmap);
    DeleteDC(hMemory);
    ReleaseDC(nullptr, hScreen);
    return bOk;
}

}  // namespace e2e
