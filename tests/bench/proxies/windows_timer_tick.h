/* Windows' timer tick for the program's SetTimer, which Wine does not keep:
 * on Windows a timer of the window manager fires on the system timer's tick
 * (15.625 ms unless a process raised the resolution), so a 10 ms timer fires
 * every 15.6 ms; Wine fires it at the time asked for. With HT_TIMER_TICK_MS
 * set (e.g. 15.625), the program's own calls of SetTimer get their periods
 * rounded up to whole ticks: the program imports SetTimer, and its import is
 * pointed at a function that rounds and calls the real one. */
#pragma once

/* Once per process, when HT_TIMER_TICK_MS asks for it. */
void applyWindowsTimerTick(void);
