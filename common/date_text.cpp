#include "common/date_text.h"

#include <cstdio>
#include <ctime>

namespace common {

std::string date_text(const LocalDate& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

LocalDateTime local_now() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &now);
#else
    localtime_r(&now, &parts);
#endif
    LocalDateTime result;
    result.date = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
    result.hour = parts.tm_hour;
    result.minute = parts.tm_min;
    return result;
}

}  // namespace common
