#include "platform/x11_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace movan {

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

void activateX11WindowForUser(void *display, unsigned long window)
{
    auto *x = static_cast<Display *>(display);
    if (!x || !window)
        return;
    constexpr long kSourcePager = 2;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = kSourcePager;
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = 0;
    XSendEvent(x, DefaultRootWindow(x), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XRaiseWindow(x, window);
    XFlush(x);
}

} // namespace movan
