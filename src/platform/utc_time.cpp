#include "platform/utc_time.hpp"

namespace cncsend {

namespace {

void put_digits(char* text, std::int64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        text[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

}  // namespace

void format_utc_time(std::int64_t unix_ms, char* text) {
    std::int64_t days = unix_ms / 86'400'000;
    std::int64_t ms_of_day = unix_ms % 86'400'000;
    if (ms_of_day < 0) {
        ms_of_day += 86'400'000;
        --days;
    }
    // Civil date from a day count (the proleptic Gregorian calendar in eras
    // of 400 years, March first, so that leap days fall at a year's end).
    const std::int64_t z = days + 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const std::int64_t day_of_era = z - era * 146'097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
    const std::int64_t day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
    const std::int64_t month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
    const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);

    put_digits(text, year, 4);
    text[4] = '-';
    put_digits(text + 5, month, 2);
    text[7] = '-';
    put_digits(text + 8, day, 2);
    text[10] = 'T';
    put_digits(text + 11, ms_of_day / 3'600'000, 2);
    text[13] = ':';
    put_digits(text + 14, ms_of_day / 60'000 % 60, 2);
    text[16] = ':';
    put_digits(text + 17, ms_of_day / 1000 % 60, 2);
    text[19] = '.';
    put_digits(text + 20, ms_of_day % 1000, 3);
    text[23] = 'Z';
}

}  // namespace cncsend
