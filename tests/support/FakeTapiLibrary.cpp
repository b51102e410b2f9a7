// The fake TAPI library: the sixteen exports the program binds, each handed
// with its arguments to the function a test process installed. Built once
// with every export and once without "lineDrop" (FAKE_TAPI_NO_DROP) for the
// missing-export case.
#include "support/FakeTapi.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
PfnFakeTapiCall g_pfnCall = nullptr;

template <typename... T>
LONG Forward(const char* pszExport, T... args) {
    // Pointers and numbers alike, as the C cast does either.
    const DWORD_PTR widened[] = {(DWORD_PTR)(args)...};
    return g_pfnCall ? g_pfnCall(pszExport, widened) : LINEERR_OPERATIONFAILED;
}
}  // namespace

FAKE_EXPORT void FakeTapiInstall(PfnFakeTapiCall pfnCall) {
    g_pfnCall = pfnCall;
}

#define FAKE_FUNCTION(name, params, ...)    \
    FAKE_EXPORT LONG WINAPI name params {   \
        return Forward(#name, __VA_ARGS__); \
    }

FAKE_FUNCTION(lineAnswer, (HCALL a, LPCSTR b, DWORD c), a, b, c)
FAKE_FUNCTION(lineClose, (HLINE a), a)
FAKE_FUNCTION(lineDeallocateCall, (HCALL a), a)
#ifndef FAKE_TAPI_NO_DROP
FAKE_FUNCTION(lineDrop, (HCALL a, LPCSTR b, DWORD c), a, b, c)
#endif
FAKE_FUNCTION(lineGetAddressCapsA, (HLINEAPP a, DWORD b, DWORD c, DWORD d, DWORD e, LINEADDRESSCAPS* f), a, b, c, d, e,
              f)
FAKE_FUNCTION(lineGetAddressStatusA, (HLINE a, DWORD b, LINEADDRESSSTATUS* c), a, b, c)
FAKE_FUNCTION(lineGetCallInfoA, (HCALL a, LINECALLINFO* b), a, b)
FAKE_FUNCTION(lineGetCallStatus, (HCALL a, LINECALLSTATUS* b), a, b)
FAKE_FUNCTION(lineGetDevCapsA, (HLINEAPP a, DWORD b, DWORD c, DWORD d, LINEDEVCAPS* e), a, b, c, d, e)
FAKE_FUNCTION(lineGetLineDevStatus, (HLINE a, LINEDEVSTATUS* b), a, b)
FAKE_FUNCTION(lineInitializeExA,
              (HLINEAPP * a, HINSTANCE b, LINECALLBACK c, LPCSTR d, DWORD* e, DWORD* f, LINEINITIALIZEEXPARAMS* g), a,
              b, c, d, e, f, g)
FAKE_FUNCTION(lineMakeCallA, (HLINE a, HCALL* b, LPCSTR c, DWORD d, const LINECALLPARAMS* e), a, b, c, d, e)
FAKE_FUNCTION(lineNegotiateExtVersion, (HLINEAPP a, DWORD b, DWORD c, DWORD d, DWORD e, DWORD* f), a, b, c, d, e, f)
FAKE_FUNCTION(lineOpenA,
              (HLINEAPP a, DWORD b, HLINE* c, DWORD d, DWORD e, DWORD_PTR f, DWORD g, DWORD h, const LINECALLPARAMS* i),
              a, b, c, d, e, f, g, h, i)
FAKE_FUNCTION(lineSetStatusMessages, (HLINE a, DWORD b, DWORD c), a, b, c)
FAKE_FUNCTION(lineShutdown, (HLINEAPP a), a)
