// Which tree a line goes to: the maker's provider text, the low 16 bits of the
// permanent line ID and the four range values, read afresh for every record
// (natively from the values file, under Wine from the real registry).
#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "sim/SimTestData.h"
#include "support/SnapshotTestSupport.h"
#include "support/TestFiles.h"

using snaptest::SnapshotOf;

namespace {

CLineDevCaps Record(DWORD dwPermanentLineID, const std::string& strProvider) {
    return SnapshotOf<CLineDevCaps>("LINEDEVCAPS\ndwStringFormat = STRINGFORMAT_ASCII\ndwPermanentLineID = " +
                                    std::to_string(dwPermanentLineID) + "\nProviderInfo = " + strProvider);
}

std::string Ranges(const CLineDevCaps& record) {
    std::ostringstream out;
    out << record.m_nCoLow << " " << record.m_nCoHigh << " " << record.m_nExtLow << " " << record.m_nExtHigh;
    return out.str();
}

// classification.txt: range values to set (NAME = a number for a REG_DWORD,
// NAME = "text" for a REG_SZ), the provider text (a structure text, the
// maker's when not given) and the permanent line IDs; then the ranges of the
// first ID's record and of one made before the values were set, and for each
// ID its tree, whether its provider is the maker's (what the check answers,
// what the record then says) and whether the line has an ETC name. Members set
// before the check are reported.
TEST(Classification, RangesProviderAndEtcNamesDecideTheTree) {
    ExpectDataFileAt(std::string(LSC_GOLDEN_DIR) + "/classification.txt", [](const std::string& strInput) {
        CRangeValues values;
        const CLineDevCaps before = Record(0, "\"\"");
        std::string strProvider = "\"Talvora ZR-40N\\0\"";
        std::vector<DWORD> ids;
        std::istringstream lines(strInput);
        for (std::string name, eq, value; lines >> name >> eq >> std::ws && std::getline(lines, value);) {
            std::istringstream words(value);
            if (name == "provider") {
                strProvider = value;
            } else if (name == "ids") {
                for (DWORD dw = 0; words >> std::setbase(0) >> dw;) ids.push_back(dw);
            } else if (value[0] == '"') {
                values.SetString(name.c_str(), value.substr(1, value.size() - 2).c_str());
            } else {
                values.SetDword(name.c_str(), static_cast<DWORD>(std::stoul(value, nullptr, 0)));
            }
        }
        std::ostringstream out;
        for (DWORD dwID : ids) {
            CLineDevCaps record = Record(dwID, strProvider);
            if (dwID == ids[0]) out << "ranges " << Ranges(record) << ", made before " << Ranges(before) << "\n";
            if (record.m_bMakerLine || record.m_hItem || record.m_pAddressCaps) out << "set before the check\n";
            const BOOL bMaker = record.CheckMakerProvider();
            out << std::hex << dwID
                << (record.IsExtLine()  ? " EXT"
                    : record.IsCoLine() ? " CO"
                                        : " ETC")
                << " maker " << bMaker << record.m_bMakerLine << " ETC name " << record.HasEtcName() << "\n";
        }
        return out.str();
    });
}

}  // namespace
