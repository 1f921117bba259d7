#include "review/TimeText.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int64_t(yoe) + era * 400 + (m <= 2);
}

unsigned DaysInMonth(int64_t y, unsigned m)
{
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// Reads exactly `count` digits at `at`.
bool Digits(std::string_view text, size_t &at, size_t count, int &value)
{
    value = 0;
    for (size_t i = 0; i < count; ++i, ++at) {
        if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at])))
            return false;
        value = value * 10 + (text[at] - '0');
    }
    return true;
}

bool Expect(std::string_view text, size_t &at, char c)
{
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

} // namespace

std::optional<ReviewTime> ParseIsoTime(std::string_view text)
{
    size_t at = 0;
    int year, month, day, hour = 0, minute = 0, second = 0;
    if (!Digits(text, at, 4, year) || !Expect(text, at, '-') || !Digits(text, at, 2, month) || !Expect(text, at, '-') ||
        !Digits(text, at, 2, day))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || unsigned(day) > DaysInMonth(year, unsigned(month)))
        return std::nullopt;
    if (at < text.size() && (text[at] == 'T' || text[at] == 't' || text[at] == ' ')) {
        ++at;
        if (!Digits(text, at, 2, hour) || !Expect(text, at, ':') || !Digits(text, at, 2, minute))
            return std::nullopt;
        if (Expect(text, at, ':')) {
            if (!Digits(text, at, 2, second))
                return std::nullopt;
            if (Expect(text, at, '.') || Expect(text, at, ',')) {
                const size_t fraction = at;
                while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])))
                    ++at;
                if (at == fraction)
                    return std::nullopt;
            }
        }
        if (hour > 23 || minute > 59 || second > 59)
            return std::nullopt;
    }
    int offset = 0;
    if (Expect(text, at, 'Z') || Expect(text, at, 'z')) {
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int sign = text[at++] == '-' ? -1 : 1;
        int hours, minutes = 0;
        if (!Digits(text, at, 2, hours))
            return std::nullopt;
        Expect(text, at, ':');
        if (at < text.size() && !Digits(text, at, 2, minutes))
            return std::nullopt;
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offset = sign * (hours * 3600 + minutes * 60);
    }
    if (at != text.size())
        return std::nullopt;
    return DaysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second - offset;
}

std::string FormatIsoTime(ReviewTime time)
{
    const int64_t days = time >= 0 ? time / 86400 : -((-time + 86399) / 86400);
    const int64_t seconds = time - days * 86400;
    int64_t y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", (long long)y, m, d, int(seconds / 3600),
                  int(seconds / 60 % 60), int(seconds % 60));
    return text;
}

ReviewTime CurrentTime()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

ReviewTime LocalDayStart(ReviewTime time, int days)
{
    const std::time_t moment = std::time_t(time);
    std::tm local{};
    localtime_r(&moment, &local);
    local.tm_mday += days;
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    return ReviewTime(std::mktime(&local));
}
