#pragma once

namespace movan {

// Asks the window manager (through the Motif hints it reads) to offer only
// moving the X11 window: a title bar and a border without minimise,
// maximise or close buttons. Qt asks for every function when a window has
// none of those buttons, which a window manager such as openbox takes
// literally.
void allowOnlyMovingX11Window(void *display, unsigned long window);

} // namespace movan
