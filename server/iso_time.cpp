#include "server/iso_time.h"

#include <ctime>

std::string iso_time(unix_ms t)
{
    const time_t seconds = static_cast<time_t>(t / 1000);
    tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}
