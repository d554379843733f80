#include "cli/progress_report.h"

#include <algorithm>

namespace movan {

ProgressReport::ProgressReport(bool terminal, CliLanguage language, QString database, Writer write)
    : m_terminal(terminal)
    , m_language(language)
    , m_database(std::move(database))
    , m_write(std::move(write))
{}

void ProgressReport::percent(int value)
{
    value = std::clamp(value, 0, 100);
    if (value <= m_shown)
        return;
    if (m_terminal) {
        const int filled = value * kBarWidth / 100;
        m_write(QStringLiteral("\r%1 [%2%3] %4%")
                    .arg(CliText::progressLabel(m_language, m_database), QString(filled, u'#'),
                         QString(kBarWidth - filled, u'-'), QString::number(value).rightJustified(3)));
        m_barOpen = true;
        m_shown = value;
        return;
    }
    if (m_shown >= 0 && value / 10 == m_shown / 10)
        return;
    m_write(CliText::progressLine(m_language, m_database, value) + u'\n');
    m_shown = value;
}

void ProgressReport::finish()
{
    if (m_barOpen)
        m_write(QStringLiteral("\n"));
    m_barOpen = false;
}

} // namespace movan
