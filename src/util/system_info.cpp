#include "util/system_info.h"

#include "platform/computer_info.h"
#include "platform/keyboard_layout.h"

#include <QCoreApplication>

#include <optional>

namespace movan {

namespace {

// The layout the user had before the program switched it.
std::optional<QByteArray> s_userLayout;

void switchTo(const QByteArray &layout)
{
    if (!s_userLayout) {
        s_userLayout = KeyboardLayout::activeLayout();
        // The user's layout outlives the program: it is put back at the end.
        static const bool restoredAtEnd = QCoreApplication::instance()
            && QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                                &RestoreUserKeyboardLayout);
        Q_UNUSED(restoredAtEnd);
    }
    KeyboardLayout::activate(layout);
}

} // namespace

void SwitchKeyboardLayout(const QString &code)
{
    if (code == u"E" || code == u"e")
        switchTo("us");
    else if (code == u"F" || code == u"f")
        switchTo("ir");
}

void RestoreUserKeyboardLayout()
{
    if (!s_userLayout)
        return;
    if (!s_userLayout->isEmpty())
        KeyboardLayout::activate(*s_userLayout);
    s_userLayout.reset();
}

QString GetComputerNameText()
{
    return ComputerInfo::hostName();
}

} // namespace movan
