#include "model/SimLayouts.h"

namespace sim {

void PutDword(std::vector<BYTE>& bytes, std::size_t nAt, DWORD dw) {
    if (nAt + 4 > bytes.size()) {
        return;
    }
    for (int i = 0; i < 4; ++i) {
        bytes[nAt + i] = static_cast<BYTE>(dw >> (8 * i));
    }
}

DWORD GetDword(const std::vector<BYTE>& bytes, std::size_t nAt) {
    if (nAt + 4 > bytes.size()) {
        return 0;
    }
    DWORD dw = 0;
    for (int i = 0; i < 4; ++i) {
        dw |= static_cast<DWORD>(bytes[nAt + i]) << (8 * i);
    }
    return dw;
}

namespace {

// Appends text and its NUL, and records length and offset at the given places.
void AppendText(std::vector<BYTE>& bytes, DWORD dwPartOffset, std::size_t nLengthAt, std::size_t nOffsetAt,
                const std::string& str) {
    DWORD dwAt = static_cast<DWORD>(bytes.size());
    bytes.insert(bytes.end(), str.begin(), str.end());
    bytes.push_back(0);
    PutDword(bytes, nLengthAt, static_cast<DWORD>(str.size()));
    PutDword(bytes, nOffsetAt, dwPartOffset + dwAt);
}

}  // namespace

std::vector<BYTE> BuildCallPart(const CSimAppearance& call, DWORD dwPartOffset) {
    std::vector<BYTE> bytes(kCallPartFixed, 0);
    PutDword(bytes, 0, 1);
    PutDword(bytes, 4, call.m_dwCallID);
    PutDword(bytes, 8, call.m_dwTrunk);
    AppendText(bytes, dwPartOffset, 12, 16, call.m_strDid);
    return bytes;
}

std::vector<BYTE> BuildAddressPart(const CSimLineConfig& line, DWORD dwPartOffset) {
    std::vector<BYTE> bytes;
    switch (line.m_eKind) {
        case ELineKind::Ext:
            bytes.assign(kExtPartFixed, 0);
            PutDword(bytes, 0, 1);
            AppendText(bytes, dwPartOffset, 4, 8, line.m_strNumber);
            AppendText(bytes, dwPartOffset, 28, 32, line.m_strName);
            break;
        case ELineKind::Co:
            bytes.assign(kCoPartFixed, 0);
            AppendText(bytes, dwPartOffset, 0, 4, line.m_strName);
            break;
        case ELineKind::Etc:
            bytes.assign(kEtcPartFixed, 0);
            PutDword(bytes, 0, 1);
            AppendText(bytes, dwPartOffset, 4, 8, line.m_strNumber);
            AppendText(bytes, dwPartOffset, 24, 28, line.m_strName);
            break;
        case ELineKind::Other:
            break;
    }
    return bytes;
}

}  // namespace sim
