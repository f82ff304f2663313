// Built by the layering tests with PROBE_HEADER set to a header of some folder
// and, optionally, PROBE_CALL to a call of a function it declares. The probe
// links one library, so the include resolves only when that folder is the
// library's own or below it, and the call links only when the library (or one
// below) defines the function.
#include PROBE_HEADER

#ifndef PROBE_CALL
#define PROBE_CALL (void)0
#endif

int main() {
  PROBE_CALL;
  return 0;
}
