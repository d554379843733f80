#include "stored_properties/persistent.h"

#include "stored_properties/persistent_errors.h"

namespace movan {

void TPersistent::Assign(TPersistent *source)
{
    if (source) {
        source->assignTo(this);
        return;
    }
    assignTo(this);
}

void TPersistent::assignTo(TPersistent *dest)
{
    // Only reached when neither side knows the other (or a null source met a
    // class that cannot be cleared by Assign).
    const QString sourceClass = (dest == this) ? QStringLiteral("nil") : className();
    throw EConvertError::cannotAssign(sourceClass, dest->className());
}

void TPersistent::defineProperties(TFiler &) {}

QList<TPersistentChild> TPersistent::persistentChildren() const
{
    return {};
}

QString TPersistent::className() const
{
    // Messages name the class as users of the sibling programs know it,
    // without the namespace of this program.
    const QString qualified = QString::fromLatin1(metaObject()->className());
    return qualified.mid(qualified.lastIndexOf(u':') + 1);
}

} // namespace movan
