#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Platform.h"
#include "support/FakeTapi.h"
#include "support/TestFiles.h"
#include "tapi/TapiEntry.h"

namespace {

LONG Initialize(HLINEAPP* phApp = nullptr, DWORD* pdwNum = nullptr, LINECALLBACK pfnCallback = nullptr) {
    HLINEAPP hApp = 0;
    DWORD dwNum = 0, dwApi = 0x00020000;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof(params);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    return tapi::lineInitializeEx(phApp ? phApp : &hApp, nullptr, pfnCallback, "Linoscope3", pdwNum ? pdwNum : &dwNum,
                                  &dwApi, &params);
}

// A missing library fails every entry after one load attempt; a missing
// export fails only its entry, looked up once.
TEST(TapiEntry, MissingLibraryOrExportFailsItsEntriesAfterOneAttempt) {
    tapi::ResetEntryTableForTests("no-such-tapi-library-here.dll");
    EXPECT_EQ(Initialize(), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(tapi::lineShutdown(1), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(Initialize(), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(tapi::lineClose(5), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(tapi::GetEntryTableCountersForTests().nLoadAttempts, 1);
    EXPECT_EQ(tapi::GetEntryTableCountersForTests().nLookups, 0);

    CFakeTapi fake;  // installs the hooks into the full library only
    tapi::ResetEntryTableForTests(CFakeTapi::LibraryWithoutDropPath().c_str());
    EXPECT_EQ(tapi::lineDrop(0x77, nullptr, 0), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(tapi::lineDrop(0x77, nullptr, 0), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(tapi::lineDrop(0x78, nullptr, 0), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(tapi::GetEntryTableCountersForTests().nLookups, 1);
    // Other entries of the same library resolve and run (no hooks there: the
    // library answers OPERATIONFAILED, which proves the call went through).
    EXPECT_EQ(tapi::lineClose(1), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(tapi::lineDeallocateCall(2), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(tapi::GetEntryTableCountersForTests().nLookups, 3);
    EXPECT_EQ(tapi::GetEntryTableCountersForTests().nLoadAttempts, 1);
    EXPECT_EQ(fake.m_calls.size(), 0u);
    tapi::ResetEntryTableForTests(nullptr);
}

// The program loads the system's TAPI by its full path, or the library the
// variable names by its full path; never one found by a bare or relative
// name, which the program's folder or the current one could supply.
TEST(TapiEntry, TheLibraryIsChosenByFullPathOnly) {
    const std::string strDefault = tapi::DefaultTapiLibraryName();
    EXPECT_TRUE(platform::IsFullyQualifiedPath(strDefault)) << strDefault;
#ifdef _WIN32
    EXPECT_EQ(strDefault, platform::SystemLibraryDirectory() + "\\TAPI32.DLL");
#endif

    // The fake lies beside the test program (Windows: only its file name is
    // known, and a bare name would find it there).
    const std::filesystem::path library(CFakeTapi::LibraryPath());
    const std::string strFull = library.is_absolute()
                                    ? library.string()
                                    : (std::filesystem::path(platform::ExecutableDirectory()) / library).string();
    const std::string strRelative =
        library.is_absolute() ? std::filesystem::relative(library).string() : library.string();
    const std::pair<std::string, bool> cases[] = {
        {strFull, true}, {strRelative, false}, {library.filename().string(), false}};
    for (const auto& [strChosen, bLoads] : cases) {
        CFakeTapi fake;
        SetEnvironment(tapi::kTapiLibraryVariable, strChosen);
        tapi::ResetEntryTableForTests(nullptr);
        EXPECT_EQ(tapi::ChosenTapiLibrary(), strChosen);
        EXPECT_EQ(Initialize(), bLoads ? 0 : LINEERR_OPERATIONUNAVAIL) << strChosen;
        EXPECT_EQ(fake.Count("lineInitializeEx"), bLoads ? 1u : 0u) << strChosen;
        EXPECT_EQ(tapi::lineShutdown(1), bLoads ? 0 : LINEERR_OPERATIONUNAVAIL) << strChosen;
        EXPECT_EQ(tapi::GetEntryTableCountersForTests().nLoadAttempts, 1) << strChosen;
    }
    SetEnvironment(tapi::kTapiLibraryVariable, "");
    EXPECT_EQ(tapi::ChosenTapiLibrary(), strDefault);
    tapi::ResetEntryTableForTests(nullptr);
}

// A named CALLBACK function: a lambda has the default calling convention,
// which on 32-bit Windows is not the callback's.
void CALLBACK IgnoreCallback(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

TEST(TapiEntry, BoundEntriesPassEveryParameterAndReturnTheResultUnchanged) {
    CFakeTapi fake;
    fake.m_dwNumDevs = 7;
    fake.m_hLineApp = 0xABCD;
    HLINEAPP hApp = 0;
    DWORD dwNum = 0;
    ASSERT_EQ(Initialize(&hApp, &dwNum, IgnoreCallback), 0);
    EXPECT_EQ(hApp, 0xABCDu);
    EXPECT_EQ(dwNum, 7u);
    EXPECT_EQ(fake.m_initParams.dwTotalSize, sizeof(LINEINITIALIZEEXPARAMS));

    // Negative LINEERR codes and positive request identifiers come back as is.
    fake.OnDrop = [](HCALL, LPCSTR, DWORD) { return LINEERR_INVALCALLSTATE; };
    EXPECT_EQ(tapi::lineDrop(0x55, nullptr, 0), LINEERR_INVALCALLSTATE);
    fake.OnDrop = [](HCALL, LPCSTR, DWORD) { return LONG{0x10203}; };
    EXPECT_EQ(tapi::lineDrop(0x55, nullptr, 0), 0x10203);
    fake.OnAnswer = [](HCALL h, LPCSTR, DWORD n) { return static_cast<LONG>(h + n); };
    EXPECT_EQ(tapi::lineAnswer(0x100, nullptr, 5), 0x105);

    HLINE hLine = 0;
    ASSERT_EQ(tapi::lineOpen(hApp, 3, &hLine, 0x00010004, 0x00010002, 0x99, LINECALLPRIVILEGE_MONITOR,
                             LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
              0);
    EXPECT_EQ(hLine, CFakeTapi::LineHandleFor(3));
    const auto open = fake.CallsOf("lineOpen").at(0);
    EXPECT_EQ(open.args, (std::vector<DWORD_PTR>{0xABCD, 3, 0, 0x00010004, 0x00010002, 0x99, 2, 4, 0}));

    DWORD dwExt = 0x00010002;
    fake.m_dwNegotiatedExtVersion = 0x00030000;
    EXPECT_EQ(tapi::lineNegotiateExtVersion(hApp, 4, 0x00020000, 0x00010002, 0xFFFFFFFF, &dwExt), 0);
    EXPECT_EQ(dwExt, 0x00030000u);
    EXPECT_EQ(fake.CallsOf("lineNegotiateExtVersion").at(0).args,
              (std::vector<DWORD_PTR>{0xABCD, 4, 0x00020000, 0x00010002, 0xFFFFFFFF, 0x00010002}));

    EXPECT_EQ(tapi::lineSetStatusMessages(hLine, 0x01FFFFFF, 0x1FF), 0);
    EXPECT_EQ(fake.CallsOf("lineSetStatusMessages").at(0).args, (std::vector<DWORD_PTR>{hLine, 0x01FFFFFF, 0x1FF}));

    HCALL hCall = 0;
    fake.m_lNextRequestId = 42;
    EXPECT_EQ(tapi::lineMakeCall(hLine, &hCall, "201", 0, nullptr), 42);
    EXPECT_EQ(hCall, fake.m_hNextMakeCall);
    EXPECT_EQ(fake.CallsOf("lineMakeCall").at(0).strText, "201");

    EXPECT_EQ(tapi::lineShutdown(hApp), 0);
    EXPECT_EQ(fake.Sequence(),
              "lineInitializeEx,lineDrop,lineDrop,lineAnswer,lineOpen,lineNegotiateExtVersion,"
              "lineSetStatusMessages,lineMakeCall,lineShutdown");
}

}  // namespace
