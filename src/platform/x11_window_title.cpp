#include "platform/x11_window_title.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

void clearX11WindowTitle(void *display, unsigned long window)
{
    auto *x = static_cast<Display *>(display);
    if (!x || !window)
        return;
    unsigned char nothing[] = "";
    XChangeProperty(x, window, XInternAtom(x, "_NET_WM_NAME", False), XInternAtom(x, "UTF8_STRING", False), 8,
                    PropModeReplace, nothing, 0);
    XChangeProperty(x, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace, nothing, 0);
    XFlush(x);
}
