// CFakeTapi: a scriptable, recording TAPI for tests. Constructing one points
// the program's entry table at the fake library and routes every TAPI call
// into this object, which records the call with its arguments and answers it:
// from a handler a test set (OnGetCallInfo = ...), or from the structures and
// defaults below. Only one instance may exist at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tapi/TapiEntry.h"

// The fake TAPI library hands every call to the function a process installed
// (null: every call fails): the export's name ("lineGetDevCapsA") and its
// arguments, each widened to a DWORD_PTR.
using PfnFakeTapiCall = LONG (*)(const char* pszExport, const DWORD_PTR* pArgs);
using PfnFakeTapiInstall = void (*)(PfnFakeTapiCall);

// One recorded TAPI call: the function's export-less name ("lineOpen"), its
// DWORD arguments in order (pointers recorded as 0 or 1 for null / not null,
// a structure to fill as the dwTotalSize it brings), and its text argument
// if it has one.
struct FakeTapiCall {
    std::string strFunction;
    std::vector<DWORD_PTR> args;
    std::string strText;
};

// The bytes of one TAPI structure: the fixed part followed by its variable
// parts, laid out the way a service provider lays them out.
class CStructImage {
public:
    CStructImage() : m_cbFixed(0) {}
    explicit CStructImage(size_t cbFixed) : m_bytes(cbFixed, 0), m_cbFixed(cbFixed) {}
    template <typename T>
    static CStructImage Of() {
        return CStructImage(sizeof(T));
    }
    template <typename T>
    T* As() {
        return reinterpret_cast<T*>(m_bytes.data());
    }
    // Sets a DWORD at a byte offset of the image.
    void SetDword(size_t offset, DWORD value);
    // Appends data at the end and points the Size/Offset pair whose Size field
    // is at `sizeFieldOffset` at it. Texts get their terminating NUL counted.
    void AddText(size_t sizeFieldOffset, const std::string& text);
    void AddBytes(size_t sizeFieldOffset, const void* pData, size_t cb);
    // Appends raw bytes without touching any field; returns their offset.
    size_t Append(const void* pData, size_t cb);
    const std::vector<BYTE>& Bytes() const { return m_bytes; }

    // Answers a TAPI query into `pDest` (whose dwTotalSize the caller set) the
    // way TAPI does: the whole image when it fits, otherwise the fixed part
    // with dwNeededSize telling how much is needed; LINEERR_STRUCTURETOOSMALL
    // when not even the fixed part fits.
    LONG FillInto(void* pDest) const;

private:
    std::vector<BYTE> m_bytes;
    size_t m_cbFixed;
    std::vector<size_t> m_pairs;  // Size fields set by AddText/AddBytes
};

class CFakeTapi {
public:
    CFakeTapi();
    ~CFakeTapi();
    CFakeTapi(const CFakeTapi&) = delete;
    CFakeTapi& operator=(const CFakeTapi&) = delete;

    static CFakeTapi* Current();
    // Path of the fake library the entry table is bound to.
    static std::string LibraryPath();
    // The same library built without the "lineDrop" export.
    static std::string LibraryWithoutDropPath();
    // Hands the fake library's calls to pfnCall (null: to nobody).
    static void Install(PfnFakeTapiCall pfnCall);

    // --- What was called -------------------------------------------------
    std::vector<FakeTapiCall> m_calls;
    std::vector<FakeTapiCall> CallsOf(const std::string& strFunction) const;
    size_t Count(const std::string& strFunction) const { return CallsOf(strFunction).size(); }
    // Names of all calls in order, e.g. "lineGetDevCaps,lineOpen".
    std::string Sequence() const;
    void ClearCalls() { m_calls.clear(); }

    // --- Default answers ---------------------------------------------------
    LONG m_lInitializeResult = 0;  // lineInitializeEx hands out the HLINEAPP 0xA1
    DWORD m_dwNumDevs = 0;
    LINECALLBACK m_pfnCallback = nullptr;  // what lineInitializeEx was given
    HINSTANCE m_hInstance = nullptr;
    LINEINITIALIZEEXPARAMS m_initParams{};  // copy of what lineInitializeEx was given

    // Written by lineNegotiateExtVersion when set (0 leaves the DWORD alone).
    DWORD m_dwNegotiatedExtVersion = 0;

    // lineAnswer, lineDrop and the functions whose result the program
    // ignores (lineClose, lineDeallocateCall, lineNegotiateExtVersion,
    // lineSetStatusMessages, lineShutdown) succeed unless listed here with
    // the error to answer; a failed negotiation leaves the DWORD alone.
    std::map<std::string, LONG> m_failures;

    // Structures per device, line or call; a query for one that is missing
    // fails with an invalid-handle error.
    std::map<DWORD, CStructImage> m_devCaps;        // by device ID
    std::map<DWORD, CStructImage> m_addressCaps;    // by device ID (any address)
    std::map<HLINE, CStructImage> m_lineDevStatus;  // by HLINE
    std::map<HLINE, CStructImage> m_addressStatus;  // by HLINE (any address)
    std::map<HCALL, CStructImage> m_callInfo;       // by HCALL
    std::map<HCALL, CStructImage> m_callStatus;     // by HCALL

    // API versions for which lineGetDevCaps / lineGetAddressCaps / lineOpen fail.
    std::set<DWORD> m_devCapsFailVersions;
    std::set<DWORD> m_addressCapsFailVersions;
    std::map<DWORD, std::set<DWORD>> m_openFailVersions;  // by device ID
    // lineOpen hands out this handle for a device.
    static HLINE LineHandleFor(DWORD dwDeviceID) { return 0x1000 + dwDeviceID; }

    // Asynchronous requests (make call, answer, drop) return these, counting
    // up; lineMakeCall writes the HCALL 0x5000.
    LONG m_lNextRequestId = 1;

    // --- Scripted handlers (take precedence over the defaults) --------------
    // Any of the six structure queries, by its export-less name: true when
    // it answered (with *pResult), false to leave the query to the rest.
    std::function<bool(const std::string& strFunction, void* pStruct, LONG* pResult)> OnQuery;
    std::function<LONG(HLINE, LINEDEVSTATUS*)> OnGetLineDevStatus;  // when set, answers in place of OnQuery
    std::function<LONG(HLINEAPP, DWORD, HLINE*, DWORD, DWORD)> OnOpen;

    // --- Events ------------------------------------------------------------
    // Calls the callback the program registered, as TAPI's hidden window would.
    void Deliver(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwParam1, DWORD_PTR dwParam2 = 0, DWORD_PTR dwParam3 = 0);

    // --- Ready-made structures ----------------------------------------------
    // A LINEDEVCAPS of a line of `strProvider` with the given permanent line ID
    // and line name.
    static CStructImage MakeDevCaps(const std::string& strProvider, DWORD dwPermanentLineID,
                                    const std::string& strLineName);
    static CStructImage MakeAddressCaps(DWORD dwDeviceID, const std::string& strAddress);
    static CStructImage MakeCallStatus(DWORD dwCallState);
    static CStructImage MakeCallInfo(HLINE hLine, const std::string& strCallerID, const std::string& strCalledID);
};
