#include <time.h>

#include "platform/clock.h"

uint32_t TickCountMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

LocalTime LocalTimeNow() { return LocalTimeOf(static_cast<int64_t>(time(nullptr))); }

LocalTime LocalTimeOf(int64_t unixSeconds) {
  time_t at = static_cast<time_t>(unixSeconds);
  tm parts = {};
  localtime_r(&at, &parts);
  LocalTime t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec;
  return t;
}

int64_t UnixTimeNow() { return static_cast<int64_t>(time(nullptr)); }
