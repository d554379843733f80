#include "widgets/balloon/balloon_icons.h"

#include <QString>

// The resources live in a static library; nothing else refers to them, so
// the linker would leave them out unless they are registered by name. That
// name is global, so the call sits outside the program's namespace.
static void registerBalloonIcons()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(balloon_icons);
        return true;
    }();
    (void)registered;
}

namespace movan {

QString balloonIconResource(TBalloonType type)
{
    switch (type) {
    case blnError:
        return QStringLiteral(":/balloon/ERROR");
    case blnWarning:
        return QStringLiteral(":/balloon/WARNING");
    case blnInfo:
        break;
    }
    return QStringLiteral(":/balloon/INFO");
}

QPixmap balloonIcon(TBalloonType type)
{
    registerBalloonIcons();
    return QPixmap(balloonIconResource(type));
}

} // namespace movan
