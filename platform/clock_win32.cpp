#include <windows.h>

#include "platform/clock.h"

uint32_t TickCountMs() { return GetTickCount(); }

LocalTime LocalTimeNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  return t;
}
