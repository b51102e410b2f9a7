#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Platform.h"
#include "support/FakeTapi.h"
#include "support/TestFiles.h"
#include "tapi/TapiEntry.h"

namespace {

LONG Initialize() {
    HLINEAPP hApp = 0;
    DWORD dwNum = 0, dwApi = 0x00020000;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof(params);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    return tapi::lineInitializeEx(&hApp, nullptr, nullptr, "Linoscope3", &dwNum, &dwApi, &params);
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
// name, which the program's folder or the current one could supply. The
// variable is read whole, however long.
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
        {strFull, true}, {strRelative, false}, {library.filename().string(), false}, {std::string(3000, 'x'), false}};
    for (const auto& [strChosen, bLoads] : cases) {
        CFakeTapi fake;
        SetEnvironment(tapi::kTapiLibraryVariable, strChosen);
        tapi::ResetEntryTableForTests(nullptr);
        EXPECT_EQ(tapi::ChosenTapiLibrary(), strChosen);
        EXPECT_EQ(Initialize(), bLoads ? 0 : LINEERR_OPERATIONUNAVAIL) << strChosen;
        // Every parameter passes, the callback instance (0 where the monitor opens) too.
        HLINE hLine = 0;
        EXPECT_EQ(tapi::lineOpen(1, 3, &hLine, 0x20000, 0, 0x99, 2, 4, nullptr), bLoads ? 0 : LINEERR_OPERATIONUNAVAIL);
        EXPECT_EQ(fake.Sequence(), bLoads ? "lineInitializeEx,lineOpen" : "") << strChosen;
        if (bLoads) {
            EXPECT_EQ(fake.m_calls[1].args, (std::vector<DWORD_PTR>{1, 3, 0, 0x20000, 0, 0x99, 2, 4, 0}));
        }
        fake.m_failures["lineShutdown"] = LINEERR_INVALAPPHANDLE;  // a failure's code comes back as it is
        EXPECT_EQ(tapi::lineShutdown(1), bLoads ? LINEERR_INVALAPPHANDLE : LINEERR_OPERATIONUNAVAIL) << strChosen;
        EXPECT_EQ(tapi::GetEntryTableCountersForTests().nLoadAttempts, 1) << strChosen;
    }
    SetEnvironment(tapi::kTapiLibraryVariable, "");
    EXPECT_EQ(tapi::ChosenTapiLibrary(), strDefault);
    tapi::ResetEntryTableForTests(nullptr);
}

}  // namespace
