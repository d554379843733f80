#pragma once

#include "widgets/edit/lookup_list_source.h"

#include <QHash>
#include <QList>

namespace movan {

class DbQuery;

// The data source between a query and a lookup box: the rows of the open
// query as the box lists them, read once, front to back, at every refresh.
class QueryListSource : public LookupListSource {
    Q_OBJECT
public:
    explicit QueryListSource(DbQuery *dataSet, QObject *parent = nullptr);

    DbQuery *dataSet() const { return m_dataSet; }
    // Reads the rows of the query again; none when it is closed.
    void refresh();

    int rowCount() const override { return int(m_rows.size()); }
    QVariant fieldValue(int row, const QString &fieldName) const override;

private:
    DbQuery *m_dataSet;
    QList<QHash<QString, QString>> m_rows;
};

} // namespace movan
