#include "support/compiled_resources.h"

#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QResource>

CompiledResources::CompiledResources(const QString &prefix, const QList<Entry> &entries)
{
    const QString rcc = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + QStringLiteral("/rcc");
    if (!QFile::exists(rcc) || !m_dir.isValid())
        return;
    QString qrcText = QStringLiteral("<RCC><qresource prefix=\"/%1\">").arg(prefix);
    for (const Entry &entry : entries)
        qrcText += QStringLiteral("<file alias=\"%1\">%2</file>").arg(entry.first, entry.second.toHtmlEscaped());
    qrcText += QStringLiteral("</qresource></RCC>");
    QFile qrc(m_dir.filePath(QStringLiteral("test.qrc")));
    if (!qrc.open(QIODevice::WriteOnly))
        return;
    qrc.write(qrcText.toUtf8());
    qrc.close();
    m_rccFile = m_dir.filePath(QStringLiteral("test.rcc"));
    if (QProcess::execute(rcc, {QStringLiteral("--binary"), qrc.fileName(), QStringLiteral("-o"), m_rccFile}) != 0)
        return;
    m_registered = QResource::registerResource(m_rccFile);
}

CompiledResources::~CompiledResources()
{
    if (m_registered)
        QResource::unregisterResource(m_rccFile);
}
