// Time as the recorder reads it: the platform's millisecond tick count (it wraps
// after about 49.7 days; differences are taken unsigned) and the local time.
#pragma once

#include <cstdint>

uint32_t TickCountMs();

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

LocalTime LocalTimeNow();
// The local time of a moment given in seconds since 1970-01-01 UTC.
LocalTime LocalTimeOf(int64_t unixSeconds);

// The wall-clock time, seconds since 1970-01-01 UTC (file times are compared
// with it).
int64_t UnixTimeNow();
