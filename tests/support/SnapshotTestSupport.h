// Helpers of the snapshot tests: structures laid out as a provider lays them
// out, handed to the snapshots in heap blocks of exactly their size, so that
// AddressSanitizer sees any read past the end.
#pragma once

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/FakeTapi.h"
#include "support/TestFiles.h"

namespace snaptest {

inline std::string ReadGoldenText(const std::string& strName) {
    return ReadFileBytes(std::string(LSC_GOLDEN_DIR) + "/" + strName);
}

// Our TAPI header read as data: the value of every DWORD constant, and the
// offset of every field of its structures (packed as declared) with the width
// of the values it holds: WORDs in a SYSTEMTIME, DWORDs everywhere else.
struct CAbi {
    struct CField {
        std::size_t at, cbValue;
    };
    std::map<std::string, DWORD> constants;
    std::map<std::string, std::map<std::string, CField>> fields;  // by structure
    std::map<std::string, std::size_t> sizes;
};
inline const CAbi& Abi() {
    static const CAbi abi = [] {
        const std::map<std::string, CAbi::CField> types = {
            {"DWORD", {4, 4}}, {"HLINE", {4, 4}}, {"LINEDIALPARAMS", {16, 4}}, {"SYSTEMTIME", {16, 2}}};
        CAbi a;
        std::ifstream in(LSC_ABI_HEADER);
        std::string strStruct;
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string w[5];
            for (std::string& s : w) words >> s;
            if (w[0] == "constexpr" && w[1] == "DWORD" && w[3] == "=") {
                a.constants[w[2]] = static_cast<DWORD>(std::stoull(w[4], nullptr, 0));
            } else if (w[0] == "struct" && w[2] == "{") {
                strStruct = w[1];
            } else if (w[0] == "};") {
                strStruct.clear();
            } else if (!strStruct.empty() && types.count(w[0]) && w[2].empty()) {
                a.fields[strStruct][w[1].substr(0, w[1].size() - 1)] = {a.sizes[strStruct], types.at(w[0]).cbValue};
                a.sizes[strStruct] += types.at(w[0]).at;
            }
        }
        return a;
    }();
    return abi;
}

// Appends bytes (a text: with its NUL) without pointing a field at them;
// returns their offset.
inline DWORD AppendRaw(CStructImage& img, const std::string& bytes) {
    return static_cast<DWORD>(img.Append(bytes.data(), bytes.size()));
}

// A structure written as text: its name (or that of another structure text of
// golden/structures that it changes) on the first line, then a line per field
// or variable part, later lines overriding earlier ones:
//   dwMaxRate = 64000             a field; further values fill the fields after it
//   ProviderInfo = "Talvora\0"    a part: appended, dwProviderInfoSize/Offset set
// Values: numbers or constant names, one field wide each; "texts" with the
// escapes \0, \xHH, \\ and \", taken as written (no NUL added); @"text" the
// Size and Offset DWORDs of a text appended after the line's bytes.
// Lines starting with # are comments.
inline CStructImage StructureOf(const std::string& text) {
    std::istringstream lines(text);
    std::string strStruct;
    while (std::getline(lines, strStruct) && (strStruct.empty() || strStruct[0] == '#')) continue;
    if (!Abi().fields.count(strStruct)) {  // another structure of golden/structures, changed
        const std::string strBase = ReadGoldenText("structures/" + strStruct + ".txt");
        if (strBase.empty()) throw std::invalid_argument("no structure " + strStruct);
        return StructureOf(strBase + "\n" + std::string(std::istreambuf_iterator<char>(lines), {}));
    }
    const auto& fields = Abi().fields.at(strStruct);
    CStructImage img(Abi().sizes.at(strStruct));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find(" = ");
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        const bool bPart = !fields.count(line.substr(0, eq));
        const std::string strField = bPart ? "dw" + line.substr(0, eq) + "Size" : line.substr(0, eq);
        if (!fields.count(strField)) throw std::invalid_argument(strStruct + " has no " + strField);
        const CAbi::CField field = fields.at(strField);
        std::string bytes;
        std::vector<std::pair<std::size_t, std::string>> refs;  // where in bytes, which text
        for (std::size_t i = eq + 3; i < line.size();) {
            const bool bRef = line[i] == '@';
            if (line[i] == ' ') {
                ++i;
            } else if (line[i] == '"' || bRef) {
                std::string s;
                for (i += bRef ? 2 : 1; line.at(i) != '"'; ++i) {
                    if (line[i] != '\\') {
                        s += line[i];
                    } else if (line.at(++i) == 'x') {
                        s += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
                        i += 2;
                    } else {
                        s += line[i] == '0' ? '\0' : line[i];
                    }
                }
                ++i;
                if (bRef) refs.emplace_back(bytes.size(), s);
                bytes += bRef ? std::string(8, '\0') : s;
            } else {
                const std::size_t end = std::min(line.find(' ', i), line.size());
                const std::string word = line.substr(i, end - i);
                const DWORD dw = Abi().constants.count(word) ? Abi().constants.at(word)
                                                             : static_cast<DWORD>(std::stoull(word, nullptr, 0));
                bytes.append(reinterpret_cast<const char*>(&dw), bPart ? 4 : field.cbValue);
                i = end;
            }
        }
        std::size_t at = field.at;
        if (bPart) {
            at = img.Bytes().size();
            img.AddBytes(field.at, bytes.data(), bytes.size());
        } else if (at + bytes.size() <= Abi().sizes.at(strStruct)) {
            std::memcpy(img.As<BYTE>() + at, bytes.data(), bytes.size());
        } else {
            throw std::invalid_argument("past the fixed part: " + line);
        }
        for (const auto& [pos, s] : refs) {
            img.SetDword(at + pos, static_cast<DWORD>(s.size()));
            img.SetDword(at + pos + 4, AppendRaw(img, s));
        }
    }
    return img;
}

// The image's bytes with dwTotalSize, dwNeededSize and dwUsedSize set to its
// size, as TAPI leaves them when the whole structure fitted.
inline std::vector<BYTE> WithSizes(CStructImage img) {
    const DWORD cb = static_cast<DWORD>(img.Bytes().size());
    for (std::size_t at : {0, 4, 8}) img.SetDword(at, cb);
    return img.Bytes();
}

// A heap copy of exactly the given bytes (nothing readable after them).
struct CExactBuffer {
    explicit CExactBuffer(const std::vector<BYTE>& bytes) : m_p(new BYTE[bytes.size()]) {
        std::copy(bytes.begin(), bytes.end(), m_p.get());
    }
    const BYTE* Data() const { return m_p.get(); }
    std::unique_ptr<BYTE[]> m_p;
};

// A snapshot of T taken from an exact copy of the image (sizes set), bytes or
// structure text.
template <typename T>
T SnapshotOf(const std::vector<BYTE>& bytes) {
    CExactBuffer buf(bytes);
    return T(buf.Data());
}
template <typename T>
T SnapshotOf(const CStructImage& img) {
    return SnapshotOf<T>(WithSizes(img));
}
template <typename T>
T SnapshotOf(const std::string& text) {
    return SnapshotOf<T>(StructureOf(text));
}

// What the program reads from a snapshot of the structure, by its kind; with
// nLevel 0 or more, after the snapshot's report at that level and a NUL (which
// no report holds). In SnapshotTest.cpp.
std::string ReadFrom(const std::string& strStruct, const BYTE* p, int nLevel);

}  // namespace snaptest
