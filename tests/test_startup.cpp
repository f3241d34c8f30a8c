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
        const QString other = QStringLiteral("Altro titolo");
        t->setWindowTitle(other);
        t->setWindowState(Qt::WindowMinimized);
        QTRY_COMPARE(t->windowTitle(), QStringLiteral("Vortana"));
        QTest::qWait(100);  // the window system's own report of the state
        t->setWindowTitle(other);
        t->setWindowState(Qt::WindowMaximized);
        QTest::qWait(100);
        QCOMPARE(t->windowTitle(), other);  // only minimising sets it
    }

    void gradient()
    {
        FakePlatform p;
        auto t = startGame(p);
        // Unequal digits, or red and green could be swapped unseen.
        for (int i = 0; i < 100 && t->vars().num1 == t->vars().num2; ++i)
            t->run(&Tavola::cmdNext_Click);
        // As painted, without the controls over it.
        QImage bg(t->surface()->size(), QImage::Format_RGB32);
        t->surface()->render(&bg, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        const QColor top = bg.pixelColor(0, 1);  // middle of the first band
        QCOMPARE(QList<int>({top.blue(), bg.pixelColor(607, 670).blue()}), QList<int>({0, 255}));  // and the last
        // Multiples of 20 from the last repaint's num1 and num2.
        QCOMPARE(QList<int>({top.red(), top.green()}), QList<int>({t->vars().num1 * 20, t->vars().num2 * 20}));
        // Red and green the same in every band, each band one blue step up, across the whole width.
        for (int y = 0, previous = 0; y < bg.height(); ++y) {
            const int blue = bg.pixelColor(0, y).blue();
            QVERIFY2(blue == previous || blue == previous + 1, qPrintable(QString::number(y)));
            for (int x : {0, 303, 607})
                QCOMPARE(bg.pixelColor(x, y), QColor(top.red(), top.green(), blue));
            previous = blue;
        }
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
