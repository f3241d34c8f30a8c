// Start-up: the order of creation, load, display and activation, the
// prompt and greeting, and the record files as start-up leaves them.
#include "support.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <set>

using namespace vortana;
using namespace vortana::test;

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void effectiveOrder();
    void promptAnswers_data();
    void promptAnswers();
    void minimisingSetsCaption();
    void activationRunsOncePerLoad();
    void startNumbersAcrossGames();
    void gradientBands();
    void targetsUseScaledRows();
};

void TestStartup::effectiveOrder()
{
    FakePlatform p;
    p.names = {QStringLiteral("abc")};
    bool timersOffAtPrompt = false;
    Tavola *game = nullptr;
    p.onPrompt = [&] {
        timersOffAtPrompt = !game->timer("Timer1")->isActive() && !game->timer("Timer2")->isActive();
    };
    Tavola t(p, Rng::shared());
    game = &t;
    t.start();
    // Load (one gradient) and creation (another) ran before display.
    QCOMPARE(t.gradientsPainted(), 2);
    QVERIFY(timersOffAtPrompt);
    QCOMPARE(p.boxes.size(), 1);
    QCOMPARE(p.boxes[0].text, QStringLiteral(" abc vediamo se sei un vero campione  "));
    QCOMPARE(p.boxes[0].title, QStringLiteral("Vortana"));
    QVERIFY(t.target(Target::paricmd)->text().isEmpty());
    QVERIFY(waitActivated(t));
    QCOMPARE(t.gradientsPainted(), 3);
    QCOMPARE(t.label("Punteggio")->caption(), QStringLiteral("0"));
    QCOMPARE(t.label("lblconto")->caption(), QStringLiteral("00:15:00"));
    QCOMPARE(t.label("lblnome1")->caption(), QStringLiteral("abc"));
    QVERIFY(t.timer("Timer1")->isActive());
    QVERIFY(!t.timer("Timer2")->isActive());
}

void TestStartup::promptAnswers_data()
{
    // No answer at all stands for the cancelled prompt, which gives "".
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("name");
    QTest::newRow("cancelled") << QStringList{} << "";
    QTest::newRow("empty") << QStringList{""} << "";
    QTest::newRow("blanks and punctuation") << QStringList{"  Anna, l'amica!?  "} << "  Anna, l'amica!?  ";
    QTest::newRow("cp1252 letters") << QStringList{"è€"} << "è€";
    QTest::newRow("looks like markup") << QStringList{"<b>Bo</b> &amp;"} << "<b>Bo</b> &amp;";
}

void TestStartup::promptAnswers()
{
    QFETCH(QStringList, answers);
    QFETCH(QString, name);
    FakePlatform p;
    p.names = answers;
    Tavola t(p, Rng::shared());
    t.start();
    QVERIFY(waitActivated(t));

    QCOMPARE(p.prompts, QStringList{QStringLiteral("Vortana|Come ti chiami?")});
    QCOMPARE(p.boxes.size(), 1);
    QCOMPARE(p.boxes[0].text, QLatin1Char(' ') + name + QStringLiteral(" vediamo se sei un vero campione  "));
    QCOMPARE(p.boxes[0].style, int(OkOnly));
    if (name.isEmpty())
        QCOMPARE(p.boxes[0].text, QStringLiteral("  vediamo se sei un vero campione  "));
    QCOMPARE(t.label("lblnome1")->caption(), name);
    QCOMPARE(t.label("lblnome1")->text(), name);
    QCOMPARE(t.label("lblnome1")->textFormat(), Qt::PlainText);
}

void TestStartup::minimisingSetsCaption()
{
    FakePlatform p;
    auto t = startGame(p);
    const QString other = QStringLiteral("Altro titolo");
    t->setWindowTitle(other);
    t->setWindowState(Qt::WindowMaximized);
    QTest::qWait(50);
    QCOMPARE(t->windowTitle(), other);  // only minimising sets it

    t->setWindowState(Qt::WindowMinimized);
    QTRY_COMPARE(t->windowTitle(), QStringLiteral("Vortana"));
    QTest::qWait(100);  // the window system's own report of the state

    t->setWindowTitle(other);
    t->setWindowState(Qt::WindowNoState);
    QTest::qWait(100);
    QVERIFY(!(t->windowState() & Qt::WindowMinimized));
    QCOMPARE(t->windowTitle(), other);  // restoring leaves it alone
    QVERIFY(p.errors.isEmpty());
}

void TestStartup::activationRunsOncePerLoad()
{
    FakePlatform p;
    auto t = startGame(p);
    auto numbers = [&] {
        QStringList n;
        for (int i = 0; i < kTargets; ++i)
            n << t->target(Target(i))->text();
        return n;
    };
    const QStringList first = numbers();
    const int painted = t->gradientsPainted();
    const QString score = t->label("Punteggio")->caption();

    // A real box closing hands activation back to the window.
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vortana"), QStringLiteral("x"), QMessageBox::Ok, t.get());
    QTimer::singleShot(100, &box, &QDialog::accept);
    box.exec();
    t->activateWindow();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(t.get(), &activate);
    t->showMinimized();
    t->showNormal();
    t->hide();
    t->show();
    QTest::qWait(300);

    QCOMPARE(numbers(), first);
    QCOMPARE(t->gradientsPainted(), painted);
    QCOMPARE(t->label("Punteggio")->caption(), score);
    QCOMPARE(p.boxes.size(), 1);
}

void TestStartup::startNumbersAcrossGames()
{
    struct Range {
        Target t;
        int lo, hi, mod3;  // mod3 < 0: a multiple of 11
    };
    const Range ranges[] = {
        {Target::paricmd, 11, 1650, -1}, {Target::paricmd1, 11, 330, -1}, {Target::paricmd2, 11, 220, -1},
        {Target::disparicmd, 4, 301, 1}, {Target::disparicmd1, 5, 302, 2}, {Target::disparicmd2, 4, 301, 1},
    };
    std::set<QString> seen;
    for (int game = 0; game < 8; ++game) {
        FakePlatform p;
        auto t = startGame(p);
        QStringList shown;
        for (const Range &r : ranges) {
            const QString text = t->target(r.t)->text();
            shown << text;
            bool ok = false;
            const int n = text.toInt(&ok);
            QVERIFY2(ok && text == QString::number(n), qPrintable(text));
            QVERIFY2(n >= r.lo && n <= r.hi, qPrintable(text));
            if (r.mod3 < 0) {
                QCOMPARE(n % 11, 0);
            } else {
                QVERIFY2(n % 11 != 0, qPrintable(text));
                QCOMPARE(n % 3, r.mod3);
            }
            QVERIFY(t->target(r.t)->isHidden());
        }
        seen.insert(shown.join(QLatin1Char(',')));
    }
    // Five re-seeds with 0 per game must not replay the same numbers.
    QVERIFY(seen.size() > 1);
}

void TestStartup::gradientBands()
{
    FakePlatform p;
    auto t = startGame(p);
    const QImage bg = backgroundOf(*t);
    QCOMPARE(bg.size(), QSize(608, 672));

    const QColor top = bg.pixelColor(0, 1);  // middle of the first band
    QCOMPARE(top.blue(), 0);
    QCOMPARE(bg.pixelColor(607, 670).blue(), 255);  // middle of the last
    QVERIFY(top.red() % 20 == 0 && top.red() >= 20 && top.red() <= 180);
    QVERIFY(top.green() % 20 == 0 && top.green() >= 0 && top.green() <= 180);
    // The last repaint (activation's) used num1 and num2.
    QCOMPARE(top.red(), t->vars().num1 * 20);
    QCOMPARE(top.green(), t->vars().num2 * 20);

    // 256 bands of 2 or 3 rows, blue one up from each to the next, red and
    // green the same everywhere, across the whole width.
    std::array<int, 256> rows{};
    int previous = 0;
    for (int y = 0; y < bg.height(); ++y) {
        for (int x : {0, 303, 607}) {
            const QColor c = bg.pixelColor(x, y);
            QCOMPARE(c.red(), top.red());
            QCOMPARE(c.green(), top.green());
            QCOMPARE(c.blue(), bg.pixelColor(0, y).blue());
        }
        const int blue = bg.pixelColor(0, y).blue();
        QVERIFY2(blue == previous || blue == previous + 1, qPrintable(QString::number(y)));
        previous = blue;
        ++rows[std::size_t(blue)];
    }
    for (int b = 0; b < 256; ++b)
        QVERIFY2(rows[std::size_t(b)] == 2 || rows[std::size_t(b)] == 3, qPrintable(QString::number(b)));

    // What the screen shows is that image where no control covers it.
    const QImage shown = t->surface()->grab().toImage();
    QCOMPARE(shown.pixelColor(300, 670), bg.pixelColor(300, 670));
    QCOMPARE(shown.pixelColor(590, 400), bg.pixelColor(590, 400));
}

void TestStartup::targetsUseScaledRows()
{
    FakePlatform p;
    auto t = startGame(p);
    QCOMPARE(t->scaleHeight(), 512);
    t->moveTarget(Target::paricmd, 100, 512);
    QCOMPARE(t->target(Target::paricmd)->pos(), QPoint(100, t->surface()->height()));
    t->moveTarget(Target::disparicmd, 7, 256);
    QCOMPARE(t->target(Target::disparicmd)->pos(), QPoint(7, 336));
    t->moveTarget(Target::paricmd1, 0, 0);
    QCOMPARE(t->target(Target::paricmd1)->pos(), QPoint(0, 0));
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
