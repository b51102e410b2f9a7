#include "model/SimClock.h"

namespace sim {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* py, unsigned* pm, unsigned* pd) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *pd = doy - (153 * mp + 2) / 5 + 1;
    *pm = mp < 10 ? mp + 3 : mp - 9;
    *py = static_cast<std::int64_t>(yoe) + era * 400 + (*pm <= 2);
}

}  // namespace

SYSTEMTIME AddMilliseconds(const SYSTEMTIME& base, SimTime tMs) {
    unsigned nMonth = base.wMonth >= 1 && base.wMonth <= 12 ? base.wMonth : 1;
    unsigned nDay = base.wDay >= 1 && base.wDay <= 31 ? base.wDay : 1;
    std::int64_t nDays = DaysFromCivil(base.wYear, nMonth, nDay);
    std::uint64_t qwMs = ((static_cast<std::uint64_t>(base.wHour) * 60 + base.wMinute) * 60 + base.wSecond) * 1000 +
                         base.wMilliseconds + tMs;
    nDays += static_cast<std::int64_t>(qwMs / 86400000);
    qwMs %= 86400000;
    std::int64_t nYear = 0;
    unsigned nM = 0;
    unsigned nD = 0;
    CivilFromDays(nDays, &nYear, &nM, &nD);
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(nYear);
    t.wMonth = static_cast<WORD>(nM);
    t.wDay = static_cast<WORD>(nD);
    t.wDayOfWeek = static_cast<WORD>(((nDays % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
    t.wHour = static_cast<WORD>(qwMs / 3600000);
    t.wMinute = static_cast<WORD>(qwMs / 60000 % 60);
    t.wSecond = static_cast<WORD>(qwMs / 1000 % 60);
    t.wMilliseconds = static_cast<WORD>(qwMs % 1000);
    return t;
}

}  // namespace sim
