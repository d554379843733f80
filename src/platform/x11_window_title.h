#pragma once

// Empties the title an X11 window shows (WM_NAME and _NET_WM_NAME), which
// Qt never leaves empty: it puts the application name in its place. Takes
// the Xlib display the window was made on, so that the change is ordered
// after Qt's own requests on that connection.
void clearX11WindowTitle(void *display, unsigned long window);
