#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/Platform.h"
#include "support/TestFiles.h"

namespace {

TEST(Platform, RangeValuesAreReadAfreshAndOnlyAsDwords) {
    CRangeValues values;
    DWORD v = 0xDEAD;
    EXPECT_EQ(platform::ReadRangeRegistryValue("CO_LOW", &v), -1);  // no key at all
    EXPECT_EQ(v, 0xDEADu);

    values.SetDword("CO_LOW", 0x1234);
    values.SetDword("CO_HIGH", 0xFFFFFFFF);
    values.SetString("EXT_LOW", "12288");
    EXPECT_EQ(platform::ReadRangeRegistryValue("CO_LOW", &v), 0);
    EXPECT_EQ(v, 0x1234u);
    EXPECT_EQ(platform::ReadRangeRegistryValue("CO_HIGH", &v), 0);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    v = 7;
    EXPECT_EQ(platform::ReadRangeRegistryValue("EXT_LOW", &v), -1);  // REG_SZ is not taken
    EXPECT_EQ(v, 7u);
    EXPECT_EQ(platform::ReadRangeRegistryValue("EXT_HIGH", &v), -1);  // missing value
    EXPECT_EQ(platform::ReadRangeRegistryValue("", &v), -1);
    EXPECT_EQ(platform::ReadRangeRegistryValue(nullptr, &v), -1);
    EXPECT_EQ(platform::ReadRangeRegistryValue("CO_LOW", nullptr), -1);

    values.SetDword("EXT_HIGH", 5);  // a change is seen at the next read
    EXPECT_EQ(platform::ReadRangeRegistryValue("EXT_HIGH", &v), 0);
    EXPECT_EQ(v, 5u);
}

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

TEST(Platform, LocalTimeCanBeReplacedForTests) {
    SYSTEMTIME now{};
    platform::SetLocalTimeSourceForTests([](SYSTEMTIME* p) {
        *p = SYSTEMTIME{};
        p->wYear = 2004;
        p->wMilliseconds = 7;
    });
    platform::GetLocalTimeNow(&now);
    EXPECT_EQ(now.wYear, 2004);
    EXPECT_EQ(now.wMilliseconds, 7);
    platform::SetLocalTimeSourceForTests(nullptr);
    platform::GetLocalTimeNow(&now);
    EXPECT_GE(now.wYear, 2020);
    EXPECT_LT(now.wMilliseconds, 1000);
}

TEST(Platform, LibrariesAndSymbols) {
    EXPECT_EQ(platform::LoadLibraryModule("no-such-library-anywhere.dll"), nullptr);
    EXPECT_FALSE(platform::ExecutableDirectory().empty());
}

}  // namespace
