// The fake TAPI library: the sixteen exports the program binds, each handed
// to the hooks a test installed. Built once with every export and once
// without "lineDrop" (FAKE_TAPI_NO_DROP) for the missing-export case.
#include "support/FakeTapiHooks.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
const FakeTapiHooks* g_pHooks = nullptr;
constexpr LONG kNoHook = LINEERR_OPERATIONFAILED;
}  // namespace

#define FORWARD(member, ...) return (g_pHooks && g_pHooks->member) ? g_pHooks->member(__VA_ARGS__) : kNoHook

FAKE_EXPORT void FakeTapiInstall(const FakeTapiHooks* pHooks) {
    g_pHooks = pHooks;
}

FAKE_EXPORT LONG WINAPI lineAnswer(HCALL a, LPCSTR b, DWORD c) {
    FORWARD(pfnAnswer, a, b, c);
}
FAKE_EXPORT LONG WINAPI lineClose(HLINE a) {
    FORWARD(pfnClose, a);
}
FAKE_EXPORT LONG WINAPI lineDeallocateCall(HCALL a) {
    FORWARD(pfnDeallocateCall, a);
}
#ifndef FAKE_TAPI_NO_DROP
FAKE_EXPORT LONG WINAPI lineDrop(HCALL a, LPCSTR b, DWORD c) {
    FORWARD(pfnDrop, a, b, c);
}
#endif
FAKE_EXPORT LONG WINAPI lineGetAddressCapsA(HLINEAPP a, DWORD b, DWORD c, DWORD d, DWORD e, LINEADDRESSCAPS* f) {
    FORWARD(pfnGetAddressCaps, a, b, c, d, e, f);
}
FAKE_EXPORT LONG WINAPI lineGetAddressStatusA(HLINE a, DWORD b, LINEADDRESSSTATUS* c) {
    FORWARD(pfnGetAddressStatus, a, b, c);
}
FAKE_EXPORT LONG WINAPI lineGetCallInfoA(HCALL a, LINECALLINFO* b) {
    FORWARD(pfnGetCallInfo, a, b);
}
FAKE_EXPORT LONG WINAPI lineGetCallStatus(HCALL a, LINECALLSTATUS* b) {
    FORWARD(pfnGetCallStatus, a, b);
}
FAKE_EXPORT LONG WINAPI lineGetDevCapsA(HLINEAPP a, DWORD b, DWORD c, DWORD d, LINEDEVCAPS* e) {
    FORWARD(pfnGetDevCaps, a, b, c, d, e);
}
FAKE_EXPORT LONG WINAPI lineGetLineDevStatus(HLINE a, LINEDEVSTATUS* b) {
    FORWARD(pfnGetLineDevStatus, a, b);
}
FAKE_EXPORT LONG WINAPI lineInitializeExA(HLINEAPP* a, HINSTANCE b, LINECALLBACK c, LPCSTR d, DWORD* e, DWORD* f,
                                          LINEINITIALIZEEXPARAMS* g) {
    FORWARD(pfnInitializeEx, a, b, c, d, e, f, g);
}
FAKE_EXPORT LONG WINAPI lineMakeCallA(HLINE a, HCALL* b, LPCSTR c, DWORD d, const LINECALLPARAMS* e) {
    FORWARD(pfnMakeCall, a, b, c, d, e);
}
FAKE_EXPORT LONG WINAPI lineNegotiateExtVersion(HLINEAPP a, DWORD b, DWORD c, DWORD d, DWORD e, DWORD* f) {
    FORWARD(pfnNegotiateExtVersion, a, b, c, d, e, f);
}
FAKE_EXPORT LONG WINAPI lineOpenA(HLINEAPP a, DWORD b, HLINE* c, DWORD d, DWORD e, DWORD_PTR f, DWORD g, DWORD h,
                                  const LINECALLPARAMS* i) {
    FORWARD(pfnOpen, a, b, c, d, e, f, g, h, i);
}
FAKE_EXPORT LONG WINAPI lineSetStatusMessages(HLINE a, DWORD b, DWORD c) {
    FORWARD(pfnSetStatusMessages, a, b, c);
}
FAKE_EXPORT LONG WINAPI lineShutdown(HLINEAPP a) {
    FORWARD(pfnShutdown, a);
}
