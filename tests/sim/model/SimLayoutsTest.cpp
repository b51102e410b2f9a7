#include <gtest/gtest.h>

#include <cstring>

#include "model/SimLayouts.h"
#include "support/SimTestLines.h"

using namespace sim;

namespace {

// Reads a text the way a monitor does: length and offset from the part,
// the offset counted from the start of the containing structure.
std::string TextAt(const std::vector<BYTE>& part, DWORD dwPartOffset, std::size_t nLengthAt, std::size_t nOffsetAt) {
    DWORD dwLength = GetDword(part, nLengthAt);
    DWORD dwOffset = GetDword(part, nOffsetAt);
    EXPECT_GE(dwOffset, dwPartOffset);
    EXPECT_LE(dwOffset - dwPartOffset + dwLength, part.size());
    return std::string(reinterpret_cast<const char*>(part.data()) + (dwOffset - dwPartOffset), dwLength);
}

}  // namespace

TEST(SimLayouts, CallPartHoldsDidDigitsAfterSixtyBytesWithOffsetFromTheStructure) {
    CSimAppearance call;
    call.m_dwCallID = 0x1234;
    call.m_dwTrunk = 3;
    call.m_strDid = "0312";
    std::vector<BYTE> part = BuildCallPart(call, 400);

    ASSERT_EQ(part.size(), 60u + 4u + 1u);
    EXPECT_EQ(GetDword(part, 12), 4u);
    EXPECT_EQ(GetDword(part, 16), 460u);  // 400 + 60: from the start of LINECALLINFO
    EXPECT_EQ(std::memcmp(part.data() + 60, "0312", 5), 0);
    EXPECT_EQ(GetDword(part, 4), 0x1234u);
    EXPECT_EQ(GetDword(part, 8), 3u);
    EXPECT_EQ(TextAt(part, 400, 12, 16), "0312");

    // No digits: still the full 60-byte part, with length 0.
    call.m_strDid.clear();
    part = BuildCallPart(call, 324);
    ASSERT_EQ(part.size(), 61u);
    EXPECT_EQ(GetDword(part, 12), 0u);
    EXPECT_EQ(GetDword(part, 16), 384u);
}

TEST(SimLayouts, AddressPartsPlaceDisplayNamesWhereEachGroupReadsThem) {
    CSimLineConfig ext = simtest::Line(ELineKind::Ext, "201", "Reception");
    std::vector<BYTE> part = BuildAddressPart(ext, 64);
    ASSERT_GE(part.size(), 52u);
    EXPECT_EQ(TextAt(part, 64, 28, 32), "Reception");
    EXPECT_EQ(TextAt(part, 64, 4, 8), "201");
    EXPECT_EQ(GetDword(part, 32), 64u + 52u + 4u);  // after the fixed 52 bytes and "201\0"

    CSimLineConfig co = simtest::Line(ELineKind::Co, "801", "City Line 1", 1);
    part = BuildAddressPart(co, 100);
    ASSERT_EQ(part.size(), 8u + 11u + 1u);
    EXPECT_EQ(TextAt(part, 100, 0, 4), "City Line 1");
    EXPECT_EQ(GetDword(part, 4), 108u);

    CSimLineConfig etc = simtest::Line(ELineKind::Etc, "700", "Voice Mail");
    part = BuildAddressPart(etc, 64);
    ASSERT_GE(part.size(), 32u);
    EXPECT_EQ(TextAt(part, 64, 24, 28), "Voice Mail");

    // Another provider's line has no device-specific part at all.
    EXPECT_TRUE(BuildAddressPart(simtest::Line(ELineKind::Other, "750", "Fax"), 64).empty());

    // An empty name is a zero length pointing at a NUL inside the part.
    CSimLineConfig blank = simtest::Line(ELineKind::Co, "802", "");
    part = BuildAddressPart(blank, 64);
    EXPECT_EQ(GetDword(part, 0), 0u);
    EXPECT_EQ(part[GetDword(part, 4) - 64], 0);
}

TEST(SimLayouts, DwordHelpersNeverReachOutsideTheBytes) {
    std::vector<BYTE> bytes(6, 0xAA);
    PutDword(bytes, 3, 0x11223344);  // would end at 7: ignored
    EXPECT_EQ(bytes, std::vector<BYTE>(6, 0xAA));
    PutDword(bytes, 2, 0x11223344);
    EXPECT_EQ(GetDword(bytes, 2), 0x11223344u);
    EXPECT_EQ(bytes[2], 0x44);
    EXPECT_EQ(GetDword(bytes, 3), 0u);
}
