#pragma once
#include <string>

namespace common {

struct LocalDate {
    int year = 0;
    int month = 0;  // 1 … 12
    int day = 0;    // 1 … 31
};

struct LocalDateTime {
    LocalDate date;
    int hour = 0;
    int minute = 0;
};

// "YYYY-MM-DD": the date stamp text that the download tools send.
std::string date_text(const LocalDate& date);

// The local date and time of this moment.
LocalDateTime local_now();

}  // namespace common
