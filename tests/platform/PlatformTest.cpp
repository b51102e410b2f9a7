#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/TestFiles.h"

namespace {

// A range value as read: its hex digits, or "none" when the read failed and
// left the value alone.
std::string Read(const char* pszName) {
    DWORD v = 0xDEAD;
    const int nResult = platform::ReadRangeRegistryValue(pszName, &v);
    char sz[16];
    std::snprintf(sz, sizeof sz, "%lX", static_cast<unsigned long>(v));
    return nResult == 0 ? sz : v == 0xDEAD && nResult == -1 ? "none" : "failed but changed";
}

// Which values count, and that each is read afresh, classification.txt tries
// through the lines it classifies; here the reads that must fail (no value, a
// REG_SZ, no name, no place to put it), each leaving the value alone.
TEST(Platform, FailedRangeReadsLeaveTheValueAlone) {
    CRangeValues values;
    values.SetDword("CO_LOW", 0x1234);
    values.SetString("EXT_LOW", "12288");  // not taken, nor written to the caller's value
    EXPECT_EQ(Read("CO_LOW") + Read("CO_HIGH") + Read("EXT_LOW") + Read("") + Read(nullptr), "1234nonenonenonenone");
    EXPECT_EQ(platform::ReadRangeRegistryValue("CO_LOW", nullptr), -1);
}

#ifdef _WIN32
// The maker's 32-bit set-up tools write the key into the 32-bit view of
// 64-bit Windows. Both builds look there first and then in the 64-bit view,
// value by value: the first view holding a proper REG_DWORD gives it.
TEST(Platform, RangeValuesComeFromThe32BitViewFirstThenThe64BitView) {
    if (!CRangeValues::HasTwoViews()) GTEST_SKIP() << "32-bit Windows has one registry view";
    CRangeValues values;
    values.SetDword("CO_LOW", 0x11, ERegView::k32);
    values.SetDword("CO_HIGH", 0x22, ERegView::k64);
    values.SetDword("EXT_LOW", 0x33, ERegView::k32);
    values.SetDword("EXT_LOW", 0x44, ERegView::k64);
    values.SetString("EXT_HIGH", "5", ERegView::k32);
    values.SetDword("EXT_HIGH", 0x55, ERegView::k64);
    EXPECT_EQ(Read("CO_LOW") + Read("CO_HIGH") + Read("EXT_LOW") + Read("EXT_HIGH"), "11223355");

    // A REG_DWORD of the wrong length is no value, in either view.
    const WORD wShort = 0x1234;
    const BYTE longer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    values.Clear();
    values.Set("CO_LOW", false, &wShort, sizeof wShort, ERegView::k32);
    values.Set("CO_LOW", false, longer, sizeof longer, ERegView::k64);
    EXPECT_EQ(Read("CO_LOW"), "none");
}
#endif

TEST(Platform, AppendsLandWholeOrNotAtAllAndFailWhileAnotherWriterHoldsTheFile) {
    const std::string path = UniqueTempPath("lsc_append.csv").string();
    std::remove(path.c_str());
    EXPECT_TRUE(platform::AppendRecord(path, "a,b\r\n"));
    EXPECT_TRUE(platform::AppendRecord(path, "c\r\n"));
    EXPECT_FALSE(platform::AppendRecord(UniqueTempPath("no-such-dir").string() + "/x.csv", "x\r\n"));
    {
        CFileHolder holder(path);
        ASSERT_TRUE(holder.IsHeld());
        EXPECT_FALSE(platform::AppendRecord(path, "2\r\n"));
    }
    EXPECT_TRUE(platform::AppendRecord(path, "3\r\n"));
    EXPECT_EQ(ReadFileBytes(path), "a,b\r\nc\r\n3\r\n");

    // An append that is not committed is cut back to where it began; one
    // that is, keeps every piece.
    {
        platform::CAppendFile file(path);
        ASSERT_TRUE(file.IsOpen());
        EXPECT_TRUE(file.Write("4\r\n"));
        EXPECT_TRUE(file.Write("5"));
        EXPECT_FALSE(platform::AppendRecord(path, "x\r\n"));  // other writers wait
    }
    EXPECT_EQ(ReadFileBytes(path), "a,b\r\nc\r\n3\r\n");
    {
        platform::CAppendFile file(path);
        EXPECT_TRUE(file.Write("4\r\n") && file.Write("5\r\n") && file.Commit());
        EXPECT_FALSE(file.Commit());
        EXPECT_FALSE(file.Write("6\r\n"));
    }
    EXPECT_EQ(ReadFileBytes(path), "a,b\r\nc\r\n3\r\n4\r\n5\r\n");
    std::remove(path.c_str());
}

TEST(Platform, LocalTimeIsTheClocksUnlessReplaced) {
    platform::SetLocalTimeSourceForTests([](SYSTEMTIME* p) { *p = SYSTEMTIME{2004, 1, 0, 1, 0, 0, 0, 7}; });
    SYSTEMTIME now{};
    platform::GetLocalTimeNow(&now);
    EXPECT_EQ(now.wYear * 1000 + now.wMilliseconds, 2004007);
    platform::SetLocalTimeSourceForTests(nullptr);
    platform::GetLocalTimeNow(&now);
    EXPECT_TRUE(now.wYear >= 2020 && now.wMilliseconds < 1000) << now.wYear << " " << now.wMilliseconds;
}

// Only a path that cannot depend on the current folder or drive counts as a
// full path: anything else could find a file someone dropped there.
TEST(Platform, FullyQualifiedPathsLibrariesAndTheProgramsFolder) {
#ifdef _WIN32
    const std::vector<const char*> full = {"C:\\Windows\\system32\\TAPI32.DLL", "z:/build/sim/TAPI32.dll",
                                           "\\\\server\\share\\TAPI32.DLL", "\\\\?\\C:\\x.dll"};
    const std::vector<const char*> notFull = {"TAPI32.DLL",   ".\\TAPI32.DLL", "..\\sim\\TAPI32.dll",   "C:TAPI32.DLL",
                                              "\\TAPI32.DLL", "C:\\",          "/usr/lib/libtapi32.so", ""};
#else
    const std::vector<const char*> full = {"/usr/lib/libtapi32.so", "//x.so"};
    const std::vector<const char*> notFull = {
        "libtapi32.so", "./libtapi32.so", "../lib/x.so", "C:\\TAPI32.DLL", "/", ""};
#endif
    for (const char* psz : full) EXPECT_TRUE(platform::IsFullyQualifiedPath(psz)) << psz;
    for (const char* psz : notFull) EXPECT_FALSE(platform::IsFullyQualifiedPath(psz)) << psz;
    EXPECT_EQ(platform::LoadLibraryModule("no-such-library-anywhere.dll"), nullptr);
    EXPECT_TRUE(platform::IsFullyQualifiedPath(platform::ExecutableDirectory()));
}

#ifdef _WIN32
// Last in this file: it changes how the whole test process finds libraries.
// The fake TAPI lies beside the test program; once the search is restricted
// its bare name finds nothing there, while its full path still loads it.
TEST(Platform, RestrictedSearchLeavesTheProgramsFolderOut) {
    const std::string strName = FAKE_TAPI_NODROP_PATH;
    ASSERT_EQ(GetModuleHandleA(strName.c_str()), nullptr);
    platform::RestrictLibrarySearch();
    EXPECT_EQ(platform::LoadLibraryModule(strName.c_str()), nullptr);
    EXPECT_NE(platform::LoadLibraryModule((platform::ExecutableDirectory() + "\\" + strName).c_str()), nullptr);
}
#endif

}  // namespace
