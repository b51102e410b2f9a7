// The TAPI 2.x face of the simulated PBX, without Windows: applications,
// opened lines and call handles, the sixteen line functions with TAPI's
// argument checks and error codes, the structures they fill, and the callback
// messages the model's events turn into. The DLL only adds the hidden window
// that delivers the messages and the timer that moves the clock.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/SimClock.h"
#include "model/SimPbx.h"
#include "model/SimScenario.h"
#include "tapi/TapiAbi.h"

namespace sim {

// One callback to deliver to an application.
struct CSimMessage {
    HLINEAPP m_hApp = 0;
    DWORD m_hDevice = 0;
    DWORD m_dwMessage = 0;
    DWORD_PTR m_dwInstance = 0;
    DWORD_PTR m_dwParam1 = 0;
    DWORD_PTR m_dwParam2 = 0;
    DWORD_PTR m_dwParam3 = 0;
    // lineMakeCall: the call handle is written here just before LINE_REPLY is delivered.
    HCALL* m_phCallOut = nullptr;
    HCALL m_hCallOut = 0;
};

// What an application is, as LINEDEVSTATUS reports its opener.
struct CSimHost {
    std::string m_strMachine = "SIMPC";
    std::string m_strUser = "user";
    std::string m_strModule;
    SYSTEMTIME m_start{};  // local time at scenario time 0
};

constexpr DWORD kExtVersionLow = 0x00010000;
constexpr DWORD kExtVersionHigh = 0x00010005;

class CSimTapi {
public:
    CSimTapi(const CSimScenario& scenario, const CSimHost& host);

    CSimPbx& GetPbx() { return *m_pPbx; }
    const CSimScenario& GetScenario() const { return m_scenario; }
    // Each state-changing call appends one line here when set.
    void SetJournal(std::function<void(const std::string&)> fnJournal) { m_fnJournal = std::move(fnJournal); }

    LONG InitializeEx(HLINEAPP* phApp, LINECALLBACK pfnCallback, LPCSTR pszAppName, DWORD* pdwNumDevs,
                      DWORD* pdwAPIVersion, LINEINITIALIZEEXPARAMS* pParams);
    LONG Shutdown(HLINEAPP hApp);
    LONG NegotiateExtVersion(HLINEAPP hApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtLow, DWORD dwExtHigh,
                             DWORD* pdwExtVersion);
    LONG GetDevCaps(HLINEAPP hApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion, LINEDEVCAPS* pCaps);
    LONG GetAddressCaps(HLINEAPP hApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion, DWORD dwExtVersion,
                        LINEADDRESSCAPS* pCaps);
    LONG Open(HLINEAPP hApp, DWORD dwDeviceID, HLINE* phLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD_PTR dwInstance, DWORD dwPrivileges, DWORD dwMediaModes, const void* pCallParams);
    LONG Close(HLINE hLine);
    LONG SetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates);
    LONG GetLineDevStatus(HLINE hLine, LINEDEVSTATUS* pStatus);
    LONG GetAddressStatus(HLINE hLine, DWORD dwAddressID, LINEADDRESSSTATUS* pStatus);
    LONG GetCallInfo(HCALL hCall, LINECALLINFO* pInfo);
    LONG GetCallStatus(HCALL hCall, LINECALLSTATUS* pStatus);
    LONG MakeCall(HLINE hLine, HCALL* phCall, LPCSTR pszDest, DWORD dwCountryCode, const void* pCallParams);
    LONG Answer(HCALL hCall, LPCSTR psUserUserInfo, DWORD dwSize);
    LONG Drop(HCALL hCall, LPCSTR psUserUserInfo, DWORD dwSize);
    LONG DeallocateCall(HCALL hCall);

    // Moves the scenario clock; events become messages.
    void Advance(SimTime tDelta);
    // Runs one event (timeline entry syntax) now.
    bool Inject(const std::string& strJson, std::string* pstrError);

    std::vector<CSimMessage> TakeMessages();
    // False when the application, line or call a message is about is gone.
    bool IsDeliverable(const CSimMessage& message) const;

    bool HasApp(HLINEAPP hApp) const { return m_apps.count(hApp) != 0; }
    std::size_t GetAppCount() const { return m_apps.size(); }
    std::string GetStateJson() const;

private:
    struct CApp {
        HLINEAPP m_h = 0;
        LINECALLBACK m_pfnCallback = nullptr;
        std::string m_strName;
        bool m_bBeforeReinit = false;  // must shut down before anyone may initialize again
    };
    struct COpen {
        HLINE m_h = 0;
        HLINEAPP m_hApp = 0;
        DWORD m_dwDevice = 0;
        DWORD m_dwAPIVersion = 0;
        DWORD m_dwExtVersion = 0;
        DWORD_PTR m_dwInstance = 0;
        DWORD m_dwPrivileges = 0;
        DWORD m_dwMediaModes = 0;
        DWORD m_dwLineStates = 0;
        DWORD m_dwAddressStates = 0;
    };
    struct CCallHandle {
        HCALL m_h = 0;
        HLINE m_hLine = 0;
        HLINEAPP m_hApp = 0;
        DWORD m_dwAppearance = 0;
        DWORD m_dwPrivilege = 0;
        bool m_bStateSent = false;
        CSimAppearance m_last;  // the call as last reported; kept after the model forgets it
    };

    bool IsValidDevice(DWORD dwDeviceID) const { return dwDeviceID < m_pPbx->GetLineCount(); }
    LONG CheckVersion(DWORD dwDeviceID, DWORD dwAPIVersion) const;
    static LONG CheckExtVersion(DWORD dwExtVersion);
    const COpen* FindOpen(HLINE hLine) const;
    CCallHandle* FindCall(HCALL hCall);
    const CCallHandle* FindCall(HCALL hCall) const;
    HCALL FindHandle(HLINE hLine, DWORD dwAppearance) const;
    HCALL NewHandle(const COpen& open, DWORD dwAppearance, DWORD dwPrivilege, const CSimAppearance& call);
    DWORD NextRequest();
    void Queue(HLINEAPP hApp, DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
               DWORD_PTR dwParam2, DWORD_PTR dwParam3);
    void ProcessEvents();
    void CloseOpen(HLINE hLine);
    LONG ControlCall(HCALL hCall, LPCSTR psUserUserInfo, DWORD dwSize, bool bAnswer);
    void Journal(const std::string& str) const;
    SYSTEMTIME TimeOf(SimTime t) const { return AddMilliseconds(m_host.m_start, t); }

    CSimScenario m_scenario;
    CSimHost m_host;
    std::unique_ptr<CSimPbx> m_pPbx;
    std::map<HLINEAPP, CApp> m_apps;
    std::map<HLINE, COpen> m_opens;
    std::map<HCALL, CCallHandle> m_calls;
    std::vector<CSimMessage> m_messages;
    std::function<void(const std::string&)> m_fnJournal;
    DWORD m_dwNextApp = 0x00010001;
    DWORD m_dwNextLine = 0x00020001;
    DWORD m_dwNextCall = 0x00030001;
    DWORD m_dwNextRequest = 1;
};

}  // namespace sim
