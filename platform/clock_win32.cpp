#include <windows.h>

#include "platform/clock.h"

uint32_t TickCountMs() { return GetTickCount(); }

namespace {
LocalTime FromSystemTime(const SYSTEMTIME& st) {
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  return t;
}
}  // namespace

LocalTime LocalTimeNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return FromSystemTime(st);
}

LocalTime LocalTimeOf(int64_t unixSeconds) {
  const uint64_t ticks = static_cast<uint64_t>(unixSeconds + 11644473600) * 10000000u;
  FILETIME utc = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}, local;
  SYSTEMTIME st = {};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &st);
  return FromSystemTime(st);
}

int64_t UnixTimeNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // 100-nanosecond steps since 1601-01-01 to seconds since 1970-01-01.
  return static_cast<int64_t>(ticks / 10000000u) - 11644473600;
}
