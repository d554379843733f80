#pragma once

#include "cli/cli_text.h"

#include <QString>

#include <functional>

namespace movan {

// Shows the server's "N percent processed." of one backup: on a terminal a
// bar redrawn in place; elsewhere (the journal, a pipe) one line each time
// the work enters a further tenth, so a server that reports every percent
// still writes at most ten lines. Progress that goes back is not shown.
class ProgressReport {
public:
    using Writer = std::function<void(const QString &text)>;

    ProgressReport(bool terminal, CliLanguage language, QString database, Writer write);

    void percent(int value);
    // Ends the bar's line, so that what follows starts on a line of its own.
    void finish();

    static constexpr int kBarWidth = 30;

private:
    bool m_terminal;
    CliLanguage m_language;
    QString m_database;
    Writer m_write;
    int m_shown = -1; // the last percent shown
    bool m_barOpen = false;
};

} // namespace movan
