#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

namespace movan {

// The rows a lookup combo box lists: any table of named fields, such as the
// result of a query. rowsChanged() tells the box to read them again.
class LookupListSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual int rowCount() const = 0;
    // An invalid QVariant for a field the rows do not have.
    virtual QVariant fieldValue(int row, const QString &fieldName) const = 0;

signals:
    void rowsChanged();
};

} // namespace movan
