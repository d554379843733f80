#include "persistence/persistent.h"

#include "persistence/persistent_errors.h"

void TPersistent::Assign(TPersistent *Source)
{
    if (Source) {
        Source->AssignTo(this);
        return;
    }
    AssignTo(this);
}

void TPersistent::AssignTo(TPersistent *Dest)
{
    // Only reached when neither side knows the other (or a null source met a
    // class that cannot be cleared by Assign).
    const QString source = (Dest == this) ? QStringLiteral("nil") : ClassName();
    throw EConvertError::cannotAssign(source, Dest->ClassName());
}

void TPersistent::DefineProperties(TFiler &)
{
}

QList<TPersistentChild> TPersistent::PersistentChildren() const
{
    return {};
}

QString TPersistent::ClassName() const
{
    return QString::fromLatin1(metaObject()->className());
}
