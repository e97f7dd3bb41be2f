/* Trace files of the test-only proxies: one line per event of the program,
 * each starting with a keyword and the Unix time in ns (comparable with the
 * host's clock and with the mock VR runtime's log). */
#pragma once

#include <windows.h>

/* The file that the environment variable names, created afresh; or
 * INVALID_HANDLE_VALUE when the variable is not set. */
HANDLE openTrace(const char* variable);

/* Appends "<keyword> <unix time ns> <text>\r\n". */
void traceLine(HANDLE trace, const char* keyword, const char* text);
