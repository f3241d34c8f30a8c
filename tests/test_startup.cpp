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
            atBoxes << QStringLiteral("%1 %2 %3").arg(t.timer("Timer1")->isActive()).arg(t.timer("Timer2")->isActive())
                           .arg(t.label("lblconto")->caption());
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
        QVERIFY(t.timer("Timer1")->isActive() && !t.timer("Timer2")->isActive());

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
        QTest::qWait(100);  // the window system's own report of the state
        QCOMPARE(t->windowTitle(), QStringLiteral("Altro titolo"));  // only minimising sets it
        t->setWindowState(Qt::WindowMinimized);
        QTRY_COMPARE(t->windowTitle(), QStringLiteral("Vortana"));
    }

    // The six start numbers at both ends of their draws, and a draw of
    // a multiple of 11 drawn again. paricmd2's draw re-seeds with paricmd1's.
    void startNumbers_data()
    {
        QTest::addColumn<QString>("draws");
        QTest::addColumn<QString>("numbers");  // paricmd, paricmd1, paricmd2, disparicmd, disparicmd1, disparicmd2
        QTest::addColumn<QString>("seeds");
        QTest::newRow("r 0") << "0 0 0 0 0 0" << "11 11 11 4 5 4" << "0 0 0 0 0 11";
        QTest::newRow("top r") << "top top top top top top" << "1650 330 220 301 302 301" << "0 0 0 0 0 330";
        // 3 * (6 + 1) + 1 = 22, 3 * (2 + 1) + 2 = 11 and 3 * (50 + 1) + 1 = 154 are drawn again.
        QTest::newRow("multiples drawn again") << "0.065 0 0.025 0.5 0.5 0 0.5 0.5 0.5" << "836 176 121 4 155 4"
                                               << "0 0 0 0 0 176";
    }

    void startNumbers()
    {
        QFETCH(QString, draws);
        QFETCH(QString, numbers);
        QFETCH(QString, seeds);
        FakePlatform p;
        ScriptedRng rng;
        auto t = startGame(p, QStringLiteral("Tester"), rng);
        t->vars().score = 7;
        t->label("Punteggio")->setCaption(QStringLiteral(" 7"));
        for (const QString &r : draws.split(u' '))
            rng.next << (r == QLatin1String("top") ? kTopR : r.toFloat());
        rng.reseeds.clear();
        t->Form_Activate();
        QCOMPARE(numbersOf(*t).join(u' '), numbers);
        QCOMPARE(rng.reseeds.mid(0, 6).join(u' '), seeds);
        QCOMPARE(std::pair(t->vars().score, t->label("Punteggio")->caption()), std::pair(std::int16_t(0), QStringLiteral("0")));
        for (int i = 0; i < kTargets; ++i)
            QVERIFY(t->target(Target(i))->isHidden());
    }

    // Both repaints with chosen digits: a first digit of 0 is drawn again.
    void gradient_data()
    {
        QTest::addColumn<bool>("play");  // Form_Click, else cmdNext_Click
        QTest::addColumn<QString>("draws");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("green");
        QTest::newRow("repaint, 1 and 9") << false << "0 0.15 top" << 20 << 180;
        QTest::newRow("repaint, 9 and 0") << false << "top 0" << 180 << 0;
        QTest::newRow("start of play, 1 and 9") << true << "0 0.15 top" << 20 << 180;
        QTest::newRow("start of play, 9 and 0") << true << "top 0" << 180 << 0;
    }

    void gradient()
    {
        QFETCH(bool, play);
        QFETCH(QString, draws);
        QFETCH(int, red);
        QFETCH(int, green);
        FakePlatform p;
        ScriptedRng rng;
        auto t = startGame(p, QStringLiteral("Tester"), rng);
        const auto digits = std::pair(t->vars().num1, t->vars().num2);
        for (const QString &r : draws.split(u' '))
            rng.next << (r == QLatin1String("top") ? kTopR : r.toFloat());
        t->run(play ? &Tavola::Form_Click : &Tavola::cmdNext_Click);
        // Form_Click's digits are its own.
        QCOMPARE(std::pair(int(t->vars().num1), int(t->vars().num2)), play ? std::pair(int(digits.first), int(digits.second))
                                                                           : std::pair(red / 20, green / 20));
        // As painted, without the controls over it.
        QImage bg(t->surface()->size(), QImage::Format_RGB32);
        t->surface()->render(&bg, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        QCOMPARE(bg.pixelColor(0, 1), QColor(red, green, 0));  // middle of the first band
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
