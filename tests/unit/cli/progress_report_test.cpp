#include "cli/progress_report.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

struct Written {
    QStringList pieces;
    ProgressReport::Writer writer()
    {
        return [this](const QString &text) { pieces.append(text); };
    }
};

} // namespace

// The journal gets a line for each tenth entered, however often and however
// unevenly the server reports, and never a step back.
TEST(ProgressReport, OneLinePerTenthOffATerminal)
{
    Written out;
    ProgressReport report(false, CliLanguage::English, QStringLiteral("Tarnel"), out.writer());
    for (int percent : {1, 5, 9, 10, 12, 22, 21, 31, 31, 55, 100, 100})
        report.percent(percent);
    report.finish();
    EXPECT_EQ(out.pieces,
              (QStringList{QStringLiteral("backup of Tarnel: 1 percent processed\n"),
                           QStringLiteral("backup of Tarnel: 10 percent processed\n"),
                           QStringLiteral("backup of Tarnel: 22 percent processed\n"),
                           QStringLiteral("backup of Tarnel: 31 percent processed\n"),
                           QStringLiteral("backup of Tarnel: 55 percent processed\n"),
                           QStringLiteral("backup of Tarnel: 100 percent processed\n")}));

    // A name is text, never a pattern to fill in.
    Written odd;
    ProgressReport percentSign(false, CliLanguage::English, QStringLiteral("Sales%1%2"), odd.writer());
    percentSign.percent(70);
    EXPECT_EQ(odd.pieces, QStringList{QStringLiteral("backup of Sales%1%2: 70 percent processed\n")});

    Written persian;
    ProgressReport fa(false, CliLanguage::Persian, QStringLiteral("Tarnel"), persian.writer());
    fa.percent(40);
    EXPECT_EQ(persian.pieces,
              QStringList{QStringLiteral("پشتیبان‌گیری از Tarnel: 40 درصد انجام شد\n")});
}

// On a terminal one line is redrawn in place and ended once.
TEST(ProgressReport, ABarOnATerminal)
{
    Written out;
    ProgressReport report(true, CliLanguage::English, QStringLiteral("Tarnel"), out.writer());
    report.finish();
    EXPECT_TRUE(out.pieces.isEmpty());
    report.percent(50);
    report.percent(40);
    report.percent(100);
    report.finish();
    report.finish();
    const QString half
        = QStringLiteral("\rbackup of Tarnel [") + QString(15, u'#') + QString(15, u'-') + QStringLiteral("]  50%");
    const QString full = QStringLiteral("\rbackup of Tarnel [") + QString(30, u'#') + QStringLiteral("] 100%");
    EXPECT_EQ(out.pieces, (QStringList{half, full, QStringLiteral("\n")}));

    Written odd;
    ProgressReport percentSign(true, CliLanguage::English, QStringLiteral("x%4"), odd.writer());
    percentSign.percent(0);
    EXPECT_EQ(odd.pieces,
              QStringList{QStringLiteral("\rbackup of x%4 [") + QString(30, u'-') + QStringLiteral("]   0%")});
}
