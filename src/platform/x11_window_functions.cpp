#include "platform/x11_window_functions.h"

#include <X11/Xlib.h>

namespace movan {

void allowOnlyMovingX11Window(void *display, unsigned long window)
{
    auto *x = static_cast<Display *>(display);
    if (!x || !window)
        return;
    // flags, functions, decorations, input mode, status
    constexpr long kFunctionsAndDecorations = 1 | 2;
    constexpr long kMove = 4;
    constexpr long kBorderAndTitle = 2 | 8;
    long hints[5] = {kFunctionsAndDecorations, kMove, kBorderAndTitle, 0, 0};
    const Atom motifHints = XInternAtom(x, "_MOTIF_WM_HINTS", False);
    XChangeProperty(x, window, motifHints, motifHints, 32, PropModeReplace, reinterpret_cast<unsigned char *>(hints),
                    5);
    XFlush(x);
}

} // namespace movan
