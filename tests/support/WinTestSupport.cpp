#include "support/WinTestSupport.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/LinoscopeApp.h"
#include "win32/Window.h"

namespace wintest {

BOOL PumpMessages(CLinoscopeApp* pApp) {
    BOOL bQuit = FALSE;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            bQuit = TRUE;
            continue;
        }
        if (pApp != nullptr && pApp->PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return bQuit;
}

bool PumpUntil(const std::function<bool()>& condition, CLinoscopeApp* pApp, DWORD dwTimeoutMs) {
    const DWORD dwStart = GetTickCount();
    for (;;) {
        PumpMessages(pApp);
        if (condition()) return true;
        if (GetTickCount() - dwStart > dwTimeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void DrainQueue() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
}

// --- CDialogAnswerer -------------------------------------------------------------

namespace {

std::vector<CDialogAnswerer*> g_answerers;

std::string ClassOf(HWND hWnd) {
    char szClass[64] = "";
    GetClassNameA(hWnd, szClass, sizeof szClass);
    return szClass;
}

}  // namespace

CDialogAnswerer::CDialogAnswerer(std::function<bool(HWND)> match, std::function<void(HWND, int)> action)
    : m_match(std::move(match)), m_action(std::move(action)) {
    g_answerers.push_back(this);
    m_nTimer = SetTimer(nullptr, 0, 30, OnTimer);
}

CDialogAnswerer::~CDialogAnswerer() {
    if (m_nTimer != 0) KillTimer(nullptr, m_nTimer);
    std::erase(g_answerers, this);
}

std::function<bool(HWND)> CDialogAnswerer::TitleIs(const std::string& strTitle) {
    return [strTitle](HWND hWnd) { return GetWindowTextString(hWnd) == strTitle; };
}

std::function<bool(HWND)> CDialogAnswerer::IsMessageBox() {
    return [](HWND hWnd) {
        return GetDlgItem(hWnd, 0xFFFF) != nullptr &&
               (GetDlgItem(hWnd, IDYES) != nullptr || GetDlgItem(hWnd, IDNO) != nullptr);
    };
}

void CALLBACK CDialogAnswerer::OnTimer(HWND, UINT, UINT_PTR nTimer, DWORD) {
    for (CDialogAnswerer* pAnswerer : std::vector<CDialogAnswerer*>(g_answerers)) {
        if (pAnswerer->m_nTimer == nTimer) pAnswerer->Poll();
    }
}

// Named rather than a lambda: 32-bit callbacks are WINAPI functions.
static BOOL CALLBACK CollectDialog(HWND hWnd, LPARAM lParam) {
    if (IsWindowVisible(hWnd) && ClassOf(hWnd) == "#32770")
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

void CDialogAnswerer::Poll() {
    // Forget dialogs that are gone: their handles may come back for new ones.
    std::erase_if(m_handled, [](HWND hWnd) { return !IsWindow(hWnd) || !IsWindowVisible(hWnd); });
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    for (HWND hDlg : dialogs) {
        if (m_handled.count(hDlg) != 0 || !m_match(hDlg)) continue;
        m_handled.insert(hDlg);
        m_action(hDlg, m_nAnswered++);
    }
}

std::string AnswerSaveDialog(HWND hDlg, const std::string& strPath) {
    // The file name box of the Explorer-style dialog (cmb13), or of the old
    // style one (edt1).
    constexpr int kFileNameCombo = 0x47C;
    constexpr int kFileNameEdit = 0x480;
    const int nId = GetDlgItem(hDlg, kFileNameCombo) != nullptr ? kFileNameCombo : kFileNameEdit;
    std::string strOffered = ControlText(hDlg, nId);
    SetDlgItemTextA(hDlg, nId, strPath.c_str());
    PostClick(hDlg, IDOK);
    return strOffered;
}

std::string ReadWholeFile(const std::string& strPath) {
    FILE* pFile = std::fopen(strPath.c_str(), "rb");
    if (pFile == nullptr) return "<missing>";
    std::string strText;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pFile)) > 0) strText.append(buffer, n);
    std::fclose(pFile);
    return strText;
}

std::string ControlText(HWND hDlg, int nId) {
    return GetWindowTextString(GetDlgItem(hDlg, nId));
}

void PostClick(HWND hDlg, int nId) {
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
}

// --- Trees -----------------------------------------------------------------------

std::vector<HTREEITEM> ChildItems(HWND hTree, HTREEITEM hParent) {
    std::vector<HTREEITEM> items;
    HTREEITEM hItem = hParent == TVI_ROOT ? TreeView_GetRoot(hTree) : TreeView_GetChild(hTree, hParent);
    for (; hItem != nullptr; hItem = TreeView_GetNextSibling(hTree, hItem)) items.push_back(hItem);
    return items;
}

std::string ItemText(HWND hTree, HTREEITEM hItem) {
    char szText[512] = "";
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = szText;
    item.cchTextMax = sizeof szText;
    SendMessageA(hTree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return szText;
}

std::vector<std::string> ChildTexts(HWND hTree, HTREEITEM hParent) {
    std::vector<std::string> texts;
    for (HTREEITEM hItem : ChildItems(hTree, hParent)) texts.push_back(ItemText(hTree, hItem));
    return texts;
}

HTREEITEM FindChild(HWND hTree, HTREEITEM hParent, const std::string& strText) {
    for (HTREEITEM hItem : ChildItems(hTree, hParent)) {
        if (ItemText(hTree, hItem) == strText) return hItem;
    }
    return nullptr;
}

// --- Keys --------------------------------------------------------------------------

CHeldKeys::CHeldKeys(std::vector<BYTE> keys) {
    GetKeyboardState(m_saved);
    BYTE state[256];
    std::memcpy(state, m_saved, sizeof state);
    for (BYTE key : keys) state[key] |= 0x80;
    SetKeyboardState(state);
}

CHeldKeys::~CHeldKeys() {
    SetKeyboardState(m_saved);
}

void PostKey(HWND hWnd, UINT nVirtualKey) {
    const UINT nScan = MapVirtualKeyA(nVirtualKey, MAPVK_VK_TO_VSC);
    PostMessageA(hWnd, WM_KEYDOWN, nVirtualKey, static_cast<LPARAM>(1 | (nScan << 16)));
    PostMessageA(hWnd, WM_KEYUP, nVirtualKey, static_cast<LPARAM>(1 | (nScan << 16) | (3u << 30)));
}

// --- PNG -----------------------------------------------------------------------------

namespace {

std::uint32_t Crc32(const BYTE* p, size_t n, std::uint32_t crc = 0) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBig32(std::vector<BYTE>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<BYTE>(v >> shift));
}

void PutChunk(std::vector<BYTE>& out, const char* pszType, const std::vector<BYTE>& data) {
    PutBig32(out, static_cast<std::uint32_t>(data.size()));
    std::vector<BYTE> body(pszType, pszType + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBig32(out, Crc32(body.data(), body.size()));
}

}  // namespace

std::vector<BYTE> EncodePng(int nWidth, int nHeight, const std::vector<BYTE>& rgb) {
    // Each row: filter byte 0, then the pixels; stored in uncompressed deflate
    // blocks, which every PNG reader accepts.
    std::vector<BYTE> raw;
    raw.reserve(static_cast<size_t>(nHeight) * (static_cast<size_t>(nWidth) * 3 + 1));
    for (int y = 0; y < nHeight; ++y) {
        raw.push_back(0);
        auto row = rgb.begin() + static_cast<std::ptrdiff_t>(y) * nWidth * 3;
        raw.insert(raw.end(), row, row + nWidth * 3);
    }
    std::vector<BYTE> z{0x78, 0x01};
    size_t offset = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - offset);
        const bool bLast = offset + n == raw.size();
        z.push_back(bLast ? 1 : 0);
        z.push_back(static_cast<BYTE>(n));
        z.push_back(static_cast<BYTE>(n >> 8));
        z.push_back(static_cast<BYTE>(~n));
        z.push_back(static_cast<BYTE>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(offset),
                 raw.begin() + static_cast<std::ptrdiff_t>(offset + n));
        offset += n;
    } while (offset < raw.size());
    std::uint32_t a = 1, b = 0;
    for (BYTE byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(z, (b << 16) | a);

    std::vector<BYTE> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<BYTE> header;
    PutBig32(header, static_cast<std::uint32_t>(nWidth));
    PutBig32(header, static_cast<std::uint32_t>(nHeight));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}

SPixels CapturePixels(HWND hWnd, bool bClientOnly) {
    SPixels pixels;
    RECT rc{};
    if (bClientOnly ? !GetClientRect(hWnd, &rc) : !GetWindowRect(hWnd, &rc)) return pixels;
    const int nWidth = rc.right - rc.left;
    const int nHeight = rc.bottom - rc.top;
    if (nWidth <= 0 || nHeight <= 0) return pixels;

    // What is on the screen now, not a fresh painting of the window.
    HDC hWindowDC = bClientOnly ? GetDC(hWnd) : GetWindowDC(hWnd);
    HDC hMemDC = CreateCompatibleDC(hWindowDC);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = nWidth;
    info.bmiHeader.biHeight = -nHeight;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(hMemDC, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (hBitmap != nullptr && pBits != nullptr) {
        HGDIOBJ hOld = SelectObject(hMemDC, hBitmap);
        if (BitBlt(hMemDC, 0, 0, nWidth, nHeight, hWindowDC, 0, 0, SRCCOPY)) {
            GdiFlush();
            pixels.nWidth = nWidth;
            pixels.nHeight = nHeight;
            pixels.rgb.resize(static_cast<size_t>(nWidth) * nHeight * 3);
            const auto* pSrc = static_cast<const BYTE*>(pBits);
            for (size_t i = 0, n = static_cast<size_t>(nWidth) * nHeight; i < n; ++i) {
                pixels.rgb[i * 3] = pSrc[i * 4 + 2];
                pixels.rgb[i * 3 + 1] = pSrc[i * 4 + 1];
                pixels.rgb[i * 3 + 2] = pSrc[i * 4];
            }
        }
        SelectObject(hMemDC, hOld);
    }
    if (hBitmap != nullptr) DeleteObject(hBitmap);
    DeleteDC(hMemDC);
    ReleaseDC(hWnd, hWindowDC);
    return pixels;
}

bool SavePng(const SPixels& pixels, const std::string& strPath) {
    if (pixels.rgb.empty()) return false;
    std::vector<BYTE> png = EncodePng(pixels.nWidth, pixels.nHeight, pixels.rgb);
    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    bool bOk = pFile != nullptr && std::fwrite(png.data(), 1, png.size(), pFile) == png.size();
    if (pFile != nullptr) bOk = std::fclose(pFile) == 0 && bOk;
    return bOk;
}

bool SaveWindowPng(HWND hWnd, const std::string& strPath) {
    RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return SavePng(CapturePixels(hWnd, false), strPath);
}

}  // namespace wintest
