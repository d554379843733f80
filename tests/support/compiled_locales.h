#pragma once

// The locales a user may run under (fa_IR, en_US, de_DE in UTF-8), compiled
// into a folder of the test's own, to be named by LOCPATH, since the machine
// need not have generated them.

#include <QString>
#include <QTemporaryDir>

class CompiledLocales {
public:
    CompiledLocales();
    QString folder() const { return m_folder.path(); }
    // Why the locales could not be compiled; empty when they were.
    const QString &problem() const { return m_problem; }

private:
    QTemporaryDir m_folder;
    QString m_problem;
};
