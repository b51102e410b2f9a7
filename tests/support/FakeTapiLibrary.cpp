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

// One export: its name, parameter list, hook and the arguments passed on.
#define FAKE_FUNCTION(name, params, member, ...)                                         \
    FAKE_EXPORT LONG WINAPI name params {                                                \
        return (g_pHooks && g_pHooks->member) ? g_pHooks->member(__VA_ARGS__) : kNoHook; \
    }

FAKE_EXPORT void FakeTapiInstall(const FakeTapiHooks* pHooks) {
    g_pHooks = pHooks;
}

FAKE_FUNCTION(lineAnswer, (HCALL a, LPCSTR b, DWORD c), pfnAnswer, a, b, c)
FAKE_FUNCTION(lineClose, (HLINE a), pfnClose, a)
FAKE_FUNCTION(lineDeallocateCall, (HCALL a), pfnDeallocateCall, a)
#ifndef FAKE_TAPI_NO_DROP
FAKE_FUNCTION(lineDrop, (HCALL a, LPCSTR b, DWORD c), pfnDrop, a, b, c)
#endif
FAKE_FUNCTION(lineGetAddressCapsA, (HLINEAPP a, DWORD b, DWORD c, DWORD d, DWORD e, LINEADDRESSCAPS* f),
              pfnGetAddressCaps, a, b, c, d, e, f)
FAKE_FUNCTION(lineGetAddressStatusA, (HLINE a, DWORD b, LINEADDRESSSTATUS* c), pfnGetAddressStatus, a, b, c)
FAKE_FUNCTION(lineGetCallInfoA, (HCALL a, LINECALLINFO* b), pfnGetCallInfo, a, b)
FAKE_FUNCTION(lineGetCallStatus, (HCALL a, LINECALLSTATUS* b), pfnGetCallStatus, a, b)
FAKE_FUNCTION(lineGetDevCapsA, (HLINEAPP a, DWORD b, DWORD c, DWORD d, LINEDEVCAPS* e), pfnGetDevCaps, a, b, c, d, e)
FAKE_FUNCTION(lineGetLineDevStatus, (HLINE a, LINEDEVSTATUS* b), pfnGetLineDevStatus, a, b)
FAKE_FUNCTION(lineInitializeExA,
              (HLINEAPP * a, HINSTANCE b, LINECALLBACK c, LPCSTR d, DWORD* e, DWORD* f, LINEINITIALIZEEXPARAMS* g),
              pfnInitializeEx, a, b, c, d, e, f, g)
FAKE_FUNCTION(lineMakeCallA, (HLINE a, HCALL* b, LPCSTR c, DWORD d, const LINECALLPARAMS* e), pfnMakeCall, a, b, c, d,
              e)
FAKE_FUNCTION(lineNegotiateExtVersion, (HLINEAPP a, DWORD b, DWORD c, DWORD d, DWORD e, DWORD* f),
              pfnNegotiateExtVersion, a, b, c, d, e, f)
FAKE_FUNCTION(lineOpenA,
              (HLINEAPP a, DWORD b, HLINE* c, DWORD d, DWORD e, DWORD_PTR f, DWORD g, DWORD h, const LINECALLPARAMS* i),
              pfnOpen, a, b, c, d, e, f, g, h, i)
FAKE_FUNCTION(lineSetStatusMessages, (HLINE a, DWORD b, DWORD c), pfnSetStatusMessages, a, b, c)
FAKE_FUNCTION(lineShutdown, (HLINEAPP a), pfnShutdown, a)
