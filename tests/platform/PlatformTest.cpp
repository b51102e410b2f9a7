#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string TempPath(const char* name) {
#ifdef _WIN32
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
#else
    return std::string(::testing::TempDir()) + name;
#endif
}

// Sets or removes values of the classification key the way a technician would.
class RangeValues {
public:
    RangeValues() {
#ifdef _WIN32
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey);
#else
        m_path = TempPath("lsc_ranges.txt");
        std::remove(m_path.c_str());
        setenv(platform::kRangesFileVariable, m_path.c_str(), 1);
#endif
    }
    ~RangeValues() {
#ifdef _WIN32
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey);
#else
        std::remove(m_path.c_str());
        unsetenv(platform::kRangesFileVariable);
#endif
    }
    void SetDword(const char* name, DWORD value) {
#ifdef _WIN32
        HKEY h;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &h, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(h);
#else
        std::ofstream(m_path, std::ios::app) << name << " REG_DWORD " << value << "\n";
#endif
    }
    void SetString(const char* name, const char* text) {
#ifdef _WIN32
        HKEY h;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &h, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1));
        RegCloseKey(h);
#else
        std::ofstream(m_path, std::ios::app) << name << " REG_SZ " << text << "\n";
#endif
    }

private:
    std::string m_path;
};

TEST(Platform, RangeValuesAreReadAfreshAndOnlyAsDwords) {
    RangeValues values;
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

TEST(Platform, AppendRecordCreatesAppendsAndKeepsBytesAsGiven) {
    const std::string path = TempPath("lsc_append.csv");
    std::remove(path.c_str());
    EXPECT_TRUE(platform::AppendRecord(path, "a,b\r\n"));
    EXPECT_TRUE(platform::AppendRecord(path, "c\r\n"));
    EXPECT_EQ(ReadAll(path), "a,b\r\nc\r\n");
    EXPECT_FALSE(platform::AppendRecord(TempPath("no-such-dir/x.csv"), "x\r\n"));
    std::remove(path.c_str());
}

TEST(Platform, AppendRecordFailsWhileAnotherWriterHoldsTheFileAndSucceedsAfter) {
    const std::string path = TempPath("lsc_shared.csv");
    std::remove(path.c_str());
    ASSERT_TRUE(platform::AppendRecord(path, "1\r\n"));
#ifdef _WIN32
    // As a spreadsheet program holds an open CSV: write access, no write sharing.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::AppendRecord(path, "2\r\n"));
    CloseHandle(h);
#else
    const int fd = open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);
    EXPECT_FALSE(platform::AppendRecord(path, "2\r\n"));
    close(fd);
#endif
    EXPECT_TRUE(platform::AppendRecord(path, "3\r\n"));
    EXPECT_EQ(ReadAll(path), "1\r\n3\r\n");
    std::remove(path.c_str());
}

TEST(Platform, LocalTimeCanBeReplacedForTests) {
    SYSTEMTIME now{};
    platform::GetLocalTimeNow(&now);
    EXPECT_GE(now.wYear, 2020);
    EXPECT_LT(now.wMilliseconds, 1000);
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
}

TEST(Platform, LibrariesAndSymbols) {
    EXPECT_EQ(platform::LoadLibraryModule("no-such-library-anywhere.dll"), nullptr);
    EXPECT_FALSE(platform::ExecutableDirectory().empty());
}

}  // namespace
