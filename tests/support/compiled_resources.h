#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

// A Qt resource tree built for one test by Qt's own resource compiler and
// registered while the object lives: files under ":/<prefix>/<alias>".
class CompiledResources {
public:
    using Entry = QPair<QString, QString>; // alias, file to embed
    CompiledResources(const QString &prefix, const QList<Entry> &entries);
    ~CompiledResources();

    // False when rcc is missing or failed; the test should then skip.
    bool isRegistered() const { return m_registered; }

private:
    QTemporaryDir m_dir;
    QString m_rccFile;
    bool m_registered = false;
};
