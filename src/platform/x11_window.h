#pragma once

namespace movan {

// Small X11 window requests Qt does not make the way this program needs.
// Each takes the Xlib display the window was made on, so that the request
// is ordered after Qt's own requests on that connection.

// Empties the title an X11 window shows (WM_NAME and _NET_WM_NAME), which
// Qt never leaves empty: it puts the application name in its place.
void clearX11WindowTitle(void *display, unsigned long window);

// Asks the window manager to activate and raise the window as a direct user
// request (a pager's, in EWMH terms). A copy of the program that gives way
// stands for the user who just started it, so its request is not subject to
// the focus-stealing rules an ordinary application's request is.
void activateX11WindowForUser(void *display, unsigned long window);

} // namespace movan
