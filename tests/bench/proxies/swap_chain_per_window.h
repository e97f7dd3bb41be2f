/* One flip-model swap chain per window, as Windows keeps it and Wine does
 * not: while a swap chain made for a window is alive, making another for that
 * window fails with E_ACCESSDENIED (under Wine the second one is made and
 * breaks the first: its next ResizeBuffers fails). A swap chain's life is
 * watched through the API (life_watch.h). */
#pragma once

#include <windows.h>

#include <dxgi1_2.h>

/* Whether a swap chain made for the window is still alive. */
BOOL windowHasSwapChain(HWND window);

/* Records a swap chain just made for the window, and watches its life. */
void adoptNewSwapChain(HWND window, IDXGISwapChain1* swapChain);
