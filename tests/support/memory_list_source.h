#pragma once

#include "widgets/edit/lookup_list_source.h"

#include <QList>
#include <QStringList>
#include <QVariantList>

// Rows kept in memory for a lookup combo box under test.
class MemoryListSource : public movan::LookupListSource {
public:
    MemoryListSource(QStringList fields, QList<QVariantList> rows)
        : m_fields(std::move(fields))
        , m_rows(std::move(rows))
    {}

    int rowCount() const override { return int(m_rows.size()); }
    QVariant fieldValue(int row, const QString &fieldName) const override
    {
        const qsizetype column = m_fields.indexOf(fieldName);
        return column < 0 ? QVariant() : m_rows.at(row).value(column);
    }

    void setRows(QList<QVariantList> rows)
    {
        m_rows = std::move(rows);
        emit rowsChanged();
    }

private:
    QStringList m_fields;
    QList<QVariantList> m_rows;
};
