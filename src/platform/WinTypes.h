// The Win32 base types the portable core uses. On Windows they come from the
// system headers; elsewhere they are defined here with the same widths, so the
// same sources compile on both sides.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#else
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using LONG = std::int32_t;
using BOOL = int;
using UINT = unsigned int;
using DWORD_PTR = std::uintptr_t;
using LPARAM = std::intptr_t;
using WPARAM = std::uintptr_t;
using HANDLE = void*;
using HINSTANCE = struct HINSTANCE__*;
using HWND = struct HWND__*;
using HTREEITEM = struct _TREEITEM*;
using LPCSTR = const char*;
using LPSTR = char*;
using LPVOID = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

#define CALLBACK
#define WINAPI

// Tree item sentinels, as the tree-view control defines them.
#define TVI_ROOT (reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000)))
#define TVI_FIRST (reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF)))
#define TVI_LAST (reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE)))

// Tree navigation and expansion codes, as the tree-view control defines them.
#define TVGN_ROOT 0x0000
#define TVGN_NEXT 0x0001
#define TVGN_PREVIOUS 0x0002
#define TVGN_PARENT 0x0003
#define TVGN_CHILD 0x0004
#define TVGN_CARET 0x0009
#define TVE_COLLAPSE 0x0001
#define TVE_EXPAND 0x0002

#define MB_YESNO 0x00000004L
#define IDYES 6
#define IDNO 7
#endif

static_assert(sizeof(DWORD) == 4 && sizeof(WORD) == 2 && sizeof(LONG) == 4, "TAPI fields are 32-bit");
static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is eight 16-bit fields");

// TAPI handles are 32-bit values on every platform.
using HLINEAPP = DWORD;
using HLINE = DWORD;
using HCALL = DWORD;
