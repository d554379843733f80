#include "platform/keyboard_layout.h"

#include <QCoreApplication>
#include <QList>
#include <QRegularExpression>

#include <X11/XKBlib.h>
#include <memory>

namespace movan {

namespace {

struct DisplayCloser {
    void operator()(Display *display) const { XCloseDisplay(display); }
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

DisplayHandle openDisplay()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return {};
    return DisplayHandle(XOpenDisplay(nullptr));
}

// The keyboard the program's windows take their keys from is the X server's
// only when Qt draws them there: offscreen or on Wayland, DISPLAY may still
// name a server that belongs to something else.
bool windowsLiveOnX()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && app->property("platformName").toString() == u"xcb";
}

// The layout of each group, from the keymap's symbols name, which reads like
// "pc+us+ir:2+inet(evdev)": a layout without ":N" belongs to the first group.
QList<QByteArray> groupLayouts(Display *display)
{
    QList<QByteArray> layouts;
    XkbDescPtr keyboard = XkbAllocKeyboard();
    if (!keyboard)
        return layouts;
    keyboard->dpy = display;
    if (XkbGetNames(display, XkbSymbolsNameMask, keyboard) == Success && keyboard->names
        && keyboard->names->symbols != None) {
        char *atomName = XGetAtomName(display, keyboard->names->symbols);
        const QByteArray symbols(atomName ? atomName : "");
        XFree(atomName);

        static const QList<QByteArray> notLayouts
            = {"pc",       "inet",   "group", "compose", "level3", "ctrl", "altwin", "terminate", "capslock",
               "eurosign", "keypad", "kpdl",  "nbsp",    "lv3",    "lv5",  "shift",  "srvr_ctrl", "caps"};
        static const QRegularExpression part(QStringLiteral("^([a-z_]+)(\\([^)]*\\))?(?::(\\d+))?$"));
        for (const QByteArray &piece : symbols.split('+')) {
            const auto match = part.match(QString::fromLatin1(piece));
            if (!match.hasMatch())
                continue;
            const QByteArray name = match.captured(1).toLatin1();
            if (notLayouts.contains(name))
                continue;
            const int group = match.captured(3).isEmpty() ? 1 : match.captured(3).toInt();
            if (group < 1 || group > XkbNumKbdGroups)
                continue;
            if (layouts.size() < group)
                layouts.resize(group);
            if (layouts[group - 1].isEmpty())
                layouts[group - 1] = name;
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    return layouts;
}

} // namespace

namespace KeyboardLayout {

void activate(const QByteArray &xkbLayout)
{
    if (!windowsLiveOnX())
        return;
    DisplayHandle display = openDisplay();
    if (!display)
        return;
    const int group = groupLayouts(display.get()).indexOf(xkbLayout);
    if (group < 0)
        return;
    XkbLockGroup(display.get(), XkbUseCoreKbd, static_cast<unsigned>(group));
    XSync(display.get(), False);
}

QByteArray activeLayout()
{
    DisplayHandle display = openDisplay();
    if (!display)
        return {};
    XkbStateRec state{};
    if (XkbGetState(display.get(), XkbUseCoreKbd, &state) != Success)
        return {};
    const QList<QByteArray> layouts = groupLayouts(display.get());
    return state.group < layouts.size() ? layouts[state.group] : QByteArray();
}

} // namespace KeyboardLayout

} // namespace movan
