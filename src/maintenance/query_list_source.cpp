#include "maintenance/query_list_source.h"

#include "db/database.h"

namespace movan {

QueryListSource::QueryListSource(DbQuery *dataSet, QObject *parent)
    : LookupListSource(parent)
    , m_dataSet(dataSet)
{}

void QueryListSource::refresh()
{
    m_rows.clear();
    if (m_dataSet->isOpen()) {
        const QStringList fields = m_dataSet->fieldNames();
        for (m_dataSet->first(); !m_dataSet->eof(); m_dataSet->next()) {
            QHash<QString, QString> row;
            for (const QString &field : fields)
                row.insert(field.toCaseFolded(), m_dataSet->fieldByName(field));
            m_rows.append(row);
        }
    }
    emit rowsChanged();
}

QVariant QueryListSource::fieldValue(int row, const QString &fieldName) const
{
    if (row < 0 || row >= m_rows.size())
        return {};
    const QHash<QString, QString> &fields = m_rows[row];
    const auto found = fields.constFind(fieldName.toCaseFolded());
    return found == fields.constEnd() ? QVariant() : QVariant(*found);
}

} // namespace movan
