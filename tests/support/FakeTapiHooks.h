// The table through which the fake TAPI library hands every call to the test
// that installed it. The library itself holds no logic: the scripting and
// recording live in the test process (CFakeTapi), in plain C++.
#pragma once

#include "tapi/TapiEntry.h"

struct FakeTapiHooks {
    LONG(WINAPI* pfnAnswer)(HCALL, LPCSTR, DWORD);
    LONG(WINAPI* pfnClose)(HLINE);
    LONG(WINAPI* pfnDeallocateCall)(HCALL);
    LONG(WINAPI* pfnDrop)(HCALL, LPCSTR, DWORD);
    LONG(WINAPI* pfnGetAddressCaps)(HLINEAPP, DWORD, DWORD, DWORD, DWORD, LINEADDRESSCAPS*);
    LONG(WINAPI* pfnGetAddressStatus)(HLINE, DWORD, LINEADDRESSSTATUS*);
    LONG(WINAPI* pfnGetCallInfo)(HCALL, LINECALLINFO*);
    LONG(WINAPI* pfnGetCallStatus)(HCALL, LINECALLSTATUS*);
    LONG(WINAPI* pfnGetDevCaps)(HLINEAPP, DWORD, DWORD, DWORD, LINEDEVCAPS*);
    LONG(WINAPI* pfnGetLineDevStatus)(HLINE, LINEDEVSTATUS*);
    LONG(WINAPI* pfnInitializeEx)(HLINEAPP*, HINSTANCE, LINECALLBACK, LPCSTR, DWORD*, DWORD*, LINEINITIALIZEEXPARAMS*);
    LONG(WINAPI* pfnMakeCall)(HLINE, HCALL*, LPCSTR, DWORD, const LINECALLPARAMS*);
    LONG(WINAPI* pfnNegotiateExtVersion)(HLINEAPP, DWORD, DWORD, DWORD, DWORD, DWORD*);
    LONG(WINAPI* pfnOpen)(HLINEAPP, DWORD, HLINE*, DWORD, DWORD, DWORD_PTR, DWORD, DWORD, const LINECALLPARAMS*);
    LONG(WINAPI* pfnSetStatusMessages)(HLINE, DWORD, DWORD);
    LONG(WINAPI* pfnShutdown)(HLINEAPP);
};

// Exported by the fake library; null uninstalls (every function then fails).
using PfnFakeTapiInstall = void (*)(const FakeTapiHooks*);
