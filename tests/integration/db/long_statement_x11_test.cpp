// A window stays painted while a long statement runs, and what the user does
// meanwhile waits until the statement is over.
#include "db/database.h"
#include "platform/freetds_session.h"

#include "support/sqlemu_process.h"

#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace movan;

namespace {

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        ++paints;
        QPainter(this).fillRect(rect(), paints % 2 ? Qt::white : Qt::lightGray);
    }
};

TEST(LongStatement, WindowPaintsAndInputWaits)
{
    SqlemuOptions options;
    options.saPassword = "Secret1";
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    FreeTdsSession::initializeLibrary();

    QWidget window;
    auto *canvas = new PaintCounter;
    auto *button = new QPushButton(QStringLiteral("click"));
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(canvas);
    layout->addWidget(button);
    window.setGeometry(50, 50, 200, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });

    QTimer animation;
    QObject::connect(&animation, &QTimer::timeout, canvas, qOverload<>(&QWidget::update));
    animation.start(50);
    // Click the button for real, through the X server, a second into the call.
    const QPoint target = button->mapToGlobal(button->rect().center());
    const std::string click
        = "sleep 1; xdotool mousemove " + std::to_string(target.x()) + " " + std::to_string(target.y()) + " click 1";
    QTimer::singleShot(0, [&] { std::system((click + " &").c_str()); });

    DbQuery query;
    query.setConnectionString(
        QStringLiteral("Provider=SQLOLEDB.1;Password=Secret1;User ID=sa;Data Source=127.0.0.1,%1").arg(server.port()));
    query.setSqlLines({QStringLiteral("EXEC sqlemu_test_progress @seconds = 5")});
    int clicksDuringCall = -1;
    query.OnFetchProgress = [&](int progress, int) {
        if (progress == 100)
            clicksDuringCall = clicks;
    };
    const int paintsBefore = canvas->paints;
    query.execSQL();
    const int paintsDuring = canvas->paints - paintsBefore;

    EXPECT_GE(paintsDuring, 40) << "the window stopped painting during the statement";
    EXPECT_EQ(clicksDuringCall, 0) << "a click was handled while the statement ran";
    QTest::qWait(300);
    EXPECT_EQ(clicks, 1) << "the click was lost instead of waiting";
}

} // namespace
