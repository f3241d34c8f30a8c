// Start-up: the order of creation, load, display and activation, the
// prompt and greeting, minimising, the first background and numbers.
#include "support.h"

#include <QMessageBox>
#include <QTest>

using namespace vortana;
using namespace vortana::test;

static QStringList numbersOf(const Tavola &t)
{
    QStringList n;
    for (int i = 0; i < kTargets; ++i)
        n << t.target(Target(i))->text();
    return n;
}

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void effectiveOrder()
    {
        FakePlatform p;
        Tavola t(p, Rng::shared());
        // The timers are off while the prompt and the greeting wait, however
        // long; the clock starts after the greeting.
        QStringList atBoxes;
        auto timers = [&] {
            QTest::qWait(50);
            atBoxes << QStringLiteral("%1 %2 %3").arg(t.timer("Timer1")->isActive()).arg(t.timer("Timer2")->isActive()).arg(t.label("lblconto")->caption());
        };
        p.onPrompt = timers;
        p.answer = [&](const Box &) { timers(); return AnswerOk; };
        t.start();
        // Load (prompt, greeting, one gradient) and creation (another) ran before display.
        QCOMPARE(atBoxes, QStringList(2, QStringLiteral("0 0 00.00.00")));
        p.answer = nullptr;
        QCOMPARE(t.gradientsPainted(), 2);
        QVERIFY(t.isVisible() && t.target(Target::paricmd)->text().isEmpty());
        QVERIFY(waitActivated(t));
        QCOMPARE(t.gradientsPainted(), 3);

        // Activation runs once per load: a box closing, hiding and showing change nothing.
        const QStringList first = numbersOf(t);
        t.label("Punteggio")->setCaption(QStringLiteral(" 7"));
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vortana"), QStringLiteral("x"), QMessageBox::Ok, &t);
        QTimer::singleShot(100, &box, &QDialog::accept);
        box.exec();
        t.hide();
        t.show();
        QTest::qWait(300);
        QCOMPARE(numbersOf(t), first);
        QCOMPARE(t.gradientsPainted(), 3);
        QCOMPARE(t.label("Punteggio")->caption(), QStringLiteral(" 7"));
    }

    void promptAnswers_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QStringList{""} << "";
        QTest::newRow("blanks, punctuation, markup") << QStringList{"  Anna, <i>l'amica</i>!?  "} << "  Anna, <i>l'amica</i>!?  ";
        // Longer would not read back whole from a record file.
        QTest::newRow("too long") << QStringList{QString(40000, u'a')} << QString(32767, u'a');
    }

    void promptAnswers()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, name);
        FakePlatform p;
        p.names = answers;
        Tavola t(p, Rng::shared());
        t.start();
        QVERIFY(waitActivated(t));
        QCOMPARE(p.boxes.size(), 1);
        QCOMPARE(p.boxes[0].text, u' ' + name + QStringLiteral(" vediamo se sei un vero campione  "));
        QCOMPARE(std::pair(p.boxes[0].style, p.boxes[0].title), std::pair(int(OkOnly), QStringLiteral("Vortana")));
        QCOMPARE(t.label("lblnome1")->caption(), name);
        QCOMPARE(t.label("lblnome1")->textFormat(), Qt::PlainText);  // a name never becomes markup
    }

    void minimisingSetsCaption()
    {
        FakePlatform p;
        auto t = startGame(p);
        t->setWindowTitle(QStringLiteral("Altro titolo"));
        t->setWindowState(Qt::WindowMaximized);
        QTest::qWait(100);                                           // the window system's own report of the state
        QCOMPARE(t->windowTitle(), QStringLiteral("Altro titolo"));  // only minimising sets it
        t->setWindowState(Qt::WindowMinimized);
        QTRY_COMPARE(t->windowTitle(), QStringLiteral("Vortana"));
    }

    // Chosen draws at both ends of their ranges: the activation's six start
    // numbers (a multiple of 11 is drawn again; paricmd2's draw re-seeds with
    // paricmd1's), then its repaint's digits (a first digit of 0 is drawn
    // again); and the start of play's own digits.
    void draws_data()
    {
        QTest::addColumn<bool>("play");  // Form_Click, else Form_Activate
        QTest::addColumn<QString>("draws");
        QTest::addColumn<QString>("numbers");  // paricmd, paricmd1, paricmd2, disparicmd, disparicmd1, disparicmd2
        QTest::addColumn<QString>("seeds");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("green");
        // clang-format 14 breaks a row between two strings: the rows stay as written.
        // clang-format off
        QTest::newRow("r 0, digits 1 and 9") << false << "0 0 0 0 0 0 0 0.15 top" << "11 11 11 4 5 4" << "0 0 0 0 0 11" << 20 << 180;
        QTest::newRow("top r, digits 9 and 0") << false << "top top top top top top top 0" << "1650 330 220 301 302 301"
                                                << "0 0 0 0 0 330" << 180 << 0;
        // 3 * (6 + 1) + 1 = 22, 3 * (2 + 1) + 2 = 11 and 3 * (50 + 1) + 1 = 154 are drawn again.
        QTest::newRow("multiples drawn again") << false << "0.065 0 0.025 0.5 0.5 0 0.5 0.5 0.5 0 0.15 top"
                                               << "836 176 121 4 155 4" << "0 0 0 0 0 176" << 20 << 180;
        QTest::newRow("start of play, 1 and 9") << true << "0 0.15 top" << "" << "" << 20 << 180;
        QTest::newRow("start of play, 9 and 0") << true << "top 0" << "" << "" << 180 << 0;
        // clang-format on
    }

    void draws()
    {
        QFETCH(bool, play);
        QFETCH(QString, draws);
        QFETCH(QString, numbers);
        QFETCH(QString, seeds);
        QFETCH(int, red);
        QFETCH(int, green);
        FakePlatform p;
        ScriptedRng rng;
        auto t = startGame(p, QStringLiteral("Tester"), rng);
        const auto digits = std::pair(int(t->vars().num1), int(t->vars().num2));
        t->vars().score = 7;
        t->label("Punteggio")->setCaption(QStringLiteral(" 7"));
        rng.queue(draws);
        rng.reseeds.clear();
        t->run(play ? &Tavola::Form_Click : &Tavola::Form_Activate);
        if (!play) {
            QCOMPARE(numbersOf(*t).join(u' '), numbers);
            QCOMPARE(rng.reseeds.mid(0, 6).join(u' '), seeds);
            QCOMPARE(std::pair(t->vars().score, t->label("Punteggio")->caption()), std::pair(std::int16_t(0), QStringLiteral("0")));
            for (int i = 0; i < kTargets; ++i)
                QVERIFY(t->target(Target(i))->isHidden());
        }
        // The repaint keeps its digits; Form_Click's are its own.
        QCOMPARE(std::pair(int(t->vars().num1), int(t->vars().num2)), play ? digits : std::pair(red / 20, green / 20));
        // As painted, without the controls over it.
        QImage bg(t->surface()->size(), QImage::Format_RGB32);
        t->surface()->render(&bg, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        QCOMPARE(bg.pixelColor(0, 1), QColor(red, green, 0));        // middle of the first band
        QCOMPARE(bg.pixelColor(607, 670), QColor(red, green, 255));  // and of the last
        // Red and green the same in every band, each band one blue step up, across the whole width.
        for (int y = 0, previous = 0; y < bg.height(); ++y) {
            const int blue = bg.pixelColor(0, y).blue();
            QVERIFY2(blue == previous || blue == previous + 1, qPrintable(QString::number(y)));
            for (int x : {0, 303, 607})
                QCOMPARE(bg.pixelColor(x, y), QColor(red, green, blue));
            previous = blue;
        }
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
