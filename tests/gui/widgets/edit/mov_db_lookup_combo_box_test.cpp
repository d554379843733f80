#include "widgets/edit/control_colors.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"
#include "widgets/edit/mov_edit_box.h"

#include "support/memory_list_source.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace movan;

namespace {

const QRgb kYellow = qRgb(255, 255, 0);

class LookupForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto *layout = new QVBoxLayout(&window);
        before = new TMovEditBox(&window);
        box = new TMovDBLookupComboBox(&window);
        box->setObjectName("DBLDBBackup");
        after = new TMovEditBox(&window);
        layout->addWidget(before);
        layout->addWidget(box);
        layout->addWidget(after);
        box->setListSource(&source);
        box->setListField("name");
        box->setKeyField("dbid");
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        focus(before);
    }

    void focus(QWidget *control)
    {
        control->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
    }

    void openList()
    {
        box->showPopup();
        QCoreApplication::processEvents();
        ASSERT_TRUE(box->view()->isVisible());
    }

    MemoryListSource source{{"dbid", "name"},
                            {{1, "master"}, {5, "Tarnel"}, {6, "Tarnel_1404"}, {7, "model"}, {9, "msdb"}}};
    QWidget window;
    TMovEditBox *before = nullptr;
    TMovDBLookupComboBox *box = nullptr;
    TMovEditBox *after = nullptr;
};

TEST_F(LookupForm, ListsTheListFieldAndStartsWithNothingSelected)
{
    ASSERT_EQ(box->count(), 5);
    EXPECT_EQ(box->itemText(1), QString("Tarnel"));
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_TRUE(box->Text().isEmpty());
    EXPECT_FALSE(box->KeyValue().isValid());
}

TEST_F(LookupForm, SelectsByKeyField)
{
    box->setKeyValue(7);
    EXPECT_EQ(box->Text(), QString("model"));
    box->setKeyValue(42);
    EXPECT_TRUE(box->Text().isEmpty());
    box->setCurrentIndex(4);
    EXPECT_EQ(box->KeyValue().toInt(), 9);
}

TEST_F(LookupForm, NewRowsKeepTheSelectedKeyWhileItIsThere)
{
    box->setKeyValue(6);
    source.setRows({{6, "Tarnel_1404"}, {8, "pubs"}});
    EXPECT_EQ(box->count(), 2);
    EXPECT_EQ(box->Text(), QString("Tarnel_1404"));
    source.setRows({{8, "pubs"}});
    EXPECT_EQ(box->currentIndex(), -1);
}

TEST_F(LookupForm, TypingWithTheListClosedSearchesIncrementally)
{
    focus(box);
    QTest::keyClicks(box, "t");
    EXPECT_EQ(box->Text(), QString("Tarnel"));
    QTest::keyClicks(box, "ARNEL_");
    EXPECT_EQ(box->Text(), QString("Tarnel_1404"));
    // A key that matches nothing leaves the selection and the search as they were.
    QTest::keyClicks(box, "z");
    EXPECT_EQ(box->Text(), QString("Tarnel_1404"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, "ms");
    EXPECT_EQ(box->Text(), QString("msdb"));
}

TEST_F(LookupForm, EnterWithTheListOpenTakesTheHighlightedRowAndMovesOn)
{
    focus(box);
    box->setKeyValue(1);
    openList();
    QTest::keyClick(box->view(), Qt::Key_Down);
    QTest::keyClick(box->view(), Qt::Key_Down);
    QTest::keyClick(box->view(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_FALSE(box->view()->isVisible());
    EXPECT_EQ(box->Text(), QString("Tarnel_1404"));
    EXPECT_EQ(QApplication::focusWidget(), after);
}

TEST_F(LookupForm, EveryTypedKeyReachesTheHandlerWhileTheListIsOpen)
{
    QString seen;
    box->OnKeyPress = [&seen](QObject *, QChar &key) {
        seen += key;
        if (key == u'x')
            key = QChar(); // taken by the handler: the list keeps its row
    };
    focus(box);
    box->setKeyValue(5);
    openList();
    QTest::keyClick(box->view(), Qt::Key_M);
    QTest::keyClick(box->view(), Qt::Key_X);
    QTest::keyClick(box->view(), Qt::Key_Down); // no character: the list's alone
    EXPECT_EQ(seen, QStringLiteral("mx"));
    EXPECT_TRUE(box->view()->isVisible());
    QTest::keyClick(box->view(), Qt::Key_Escape);
    EXPECT_EQ(seen, QStringLiteral("mx\x1b"));
}

TEST_F(LookupForm, EscapeWithTheListOpenChangesNothing)
{
    focus(box);
    box->setKeyValue(5);
    openList();
    QTest::keyClick(box->view(), Qt::Key_Down);
    QTest::keyClick(box->view(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(box->view()->isVisible());
    EXPECT_EQ(box->Text(), QString("Tarnel"));
    EXPECT_EQ(QApplication::focusWidget(), box);
}

TEST_F(LookupForm, OpeningTheListIsNoExitAndTheColourFollowsTheFocus)
{
    int enters = 0;
    int exits = 0;
    QRgb seenOnEnter = 0;
    box->OnEnter = [&](QObject *) {
        ++enters;
        seenOnEnter = box->Color().rgb();
    };
    box->OnExit = [&](QObject *) { ++exits; };
    focus(box);
    EXPECT_EQ(box->Color().rgb(), kYellow);
    EXPECT_NE(seenOnEnter, kYellow);
    openList();
    QTest::keyClick(box->view(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(box->Color().rgb(), kYellow);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(exits, 0);
    focus(after);
    EXPECT_EQ(exits, 1);
    EXPECT_NE(box->Color().rgb(), kYellow);
}

// The colour is what the user sees, not only a palette entry.
TEST_F(LookupForm, FocusedBoxAndEditArePaintedYellow)
{
    focus(box);
    box->setKeyValue(5);
    if (const QString folder = qEnvironmentVariable("MOVAN_SCREENSHOT_DIR"); !folder.isEmpty())
        window.grab().save(QDir(folder).filePath("lookup_focused.png"));
    const QImage boxImage = box->grab().toImage();
    // Pure yellow, as the edit box: no style's shading of it.
    EXPECT_EQ(boxImage.pixelColor(boxImage.width() / 3, boxImage.height() / 2).rgb(), kYellow);
    focus(after);
    const QImage editImage = after->grab().toImage();
    EXPECT_EQ(editImage.pixelColor(editImage.width() / 2, editImage.height() / 2).rgb(), kYellow);
    const QImage unfocused = box->grab().toImage();
    EXPECT_GT(unfocused.pixelColor(unfocused.width() / 3, unfocused.height() / 2).blue(), 200);
}

// The list is a window of its own; it reads in the box's direction, not in
// the application's.
TEST_F(LookupForm, OpenListReadsInTheBoxsDirection)
{
    window.setLayoutDirection(Qt::RightToLeft);
    ASSERT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    openList();
    EXPECT_EQ(box->view()->window()->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(box->view()->layoutDirection(), Qt::RightToLeft);
    // The names stand at the right of their rows.
    const QImage list = box->view()->viewport()->grab().toImage();
    const QRect row = box->view()->visualRect(box->view()->model()->index(0, 0));
    int leftmostInk = list.width();
    for (int x = 0; x < list.width(); ++x)
        for (int y = row.top(); y <= row.bottom() && leftmostInk == list.width(); ++y)
            if (qGray(list.pixel(x, y)) < 100)
                leftmostInk = x;
    EXPECT_GT(leftmostInk, list.width() / 2);
    box->hidePopup();
    // The list keeps the window colour while the box is yellow.
    focus(box);
    openList();
    const QImage focusedList = box->view()->viewport()->grab().toImage();
    EXPECT_EQ(focusedList.pixelColor(2, focusedList.height() - 2).rgb(), windowColor().rgb());
    box->hidePopup();
}

TEST_F(LookupForm, EnterWithTheListClosedMovesOnUnlessTheHandlerZeroesIt)
{
    focus(box);
    QTest::keyClick(box, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), after);

    box->OnKeyPress = [](QObject *, QChar &key) {
        if (key == QLatin1Char('\r'))
            key = QChar();
    };
    focus(box);
    QTest::keyClick(box, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), box);
}

} // namespace
