#include "maintenance/batch_record.h"

#include <QFile>

namespace movan {

std::optional<QString> writeBatchRecord(const QString &path, const QString &sqlText)
{
    QFile file(path);
    const QByteArray bytes = sqlText.toUtf8() + "\r\n";
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        return QStringLiteral("Unable to write to %1: %2").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace movan
