// The end of a game: the clock running out, the exit routine with the
// record it may save, and a new game rebuilding the window.
#include "support.h"

#include "window/layout.h"

#include <QDir>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <tuple>

using namespace vortana;
using namespace vortana::test;

namespace {

const QString kFarewell = QStringLiteral("                      Ciao a presto!");
const QString kSaved = QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\"");

QString pointsPath(const FakePlatform &p) { return p.data + QStringLiteral("/avortana.txt"); }
QString namePath(const FakePlatform &p) { return p.data + QStringLiteral("/vortana.txt"); }

void seedRecord(const FakePlatform &p, const QByteArray &points, const QByteArray &name)
{
    QDir().mkpath(p.data);
    writeBytes(pointsPath(p), points);
    writeBytes(namePath(p), name);
}

qsizetype count(const FakePlatform &p, const QString &text)
{
    return std::count_if(p.boxes.begin(), p.boxes.end(), [&](const Box &b) { return b.text == text; });
}

int yesToAll(const Box &b) { return b.style & YesNo ? AnswerYes : AnswerOk; }

auto fields(const Variables &v)
{
    return std::tuple(v.num1, v.num2, v.fileNum, v.recordText, v.exitDelayCounter, v.clockHours, v.clockMinutes,
                      v.clockSeconds, v.windowsDir, v.paricmd2Number, v.disparicmdNumber, v.disparicmd1Number,
                      v.disparicmd2Number, v.score, v.flashCounter);
}

}  // namespace

class TestEndgame : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void clockRunsOut();
    void exitRoutine_data();
    void exitRoutine();
    void failedWriteKeepsOldRecord();
    void tickBehindFarewellStartsNoSecondExit();
    void clockRunsOutBehindMissWarning();
    void newGameAnsweredNo();
    void newGameAnsweredYes();
    void newGameFromTheMenuBar();
};

void TestEndgame::clockRunsOut()
{
    FakePlatform p;
    auto t = startGame(p);
    QTimer *timer1 = t->timer("Timer1");
    QCOMPARE(timer1->interval(), 1000);
    QCOMPARE(timer1->timerType(), Qt::PreciseTimer);
    QVERIFY(timer1->isActive());

    // Ticks by hand from a fresh clock; the real timer must not add any.
    t->StartClock();
    timer1->stop();
    Label *shown = t->label("lblconto");
    QCOMPARE(shown->caption(), QStringLiteral("00:15:00"));
    for (int tick = 1; tick <= 900; ++tick) {
        t->run(&Tavola::Timer1_Timer);
        const int left = 900 - tick;
        QCOMPARE(shown->caption(), QString::asprintf("00:%02d:%02d", left / 60, left % 60));
    }
    QVERIFY(p.quits.isEmpty());
    QCOMPARE(count(p, kFarewell), 0);

    t->run(&Tavola::Timer1_Timer);
    QCOMPARE(count(p, kFarewell), 1);
    QCOMPARE(p.quits, QList<int>{0});
    QVERIFY(t->hasEnded());
    QCOMPARE(shown->caption(), QStringLiteral("00:00:00"));
}

void TestEndgame::exitRoutine_data()
{
    QTest::addColumn<QByteArray>("points");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QByteArray>("nameBytes");

    QTest::newRow("first run, 0") << QByteArray() << "0" << "Anna" << false << QByteArray();
    QTest::newRow("first run, hit to 1") << QByteArray() << " 1" << "Anna" << true << QByteArray("Anna\r\n");
    QTest::newRow("first run, -4") << QByteArray() << "-4" << "Anna" << false << QByteArray();
    QTest::newRow("9 beaten by 12") << QByteArray(" 9\r\n") << " 12" << "Anna" << true << QByteArray("Anna\r\n");
    QTest::newRow("-4 beaten by -3") << QByteArray("-4\r\n") << " -3" << "Anna" << true << QByteArray("Anna\r\n");
    QTest::newRow("equal") << QByteArray(" 12\r\n") << " 12" << "Anna" << false << QByteArray();
    QTest::newRow("record not a number") << QByteArray("abc\r\n") << " 1" << "Anna" << true << QByteArray("Anna\r\n");
    QTest::newRow("empty name") << QByteArray() << " 2" << "" << true << QByteArray("\r\n");
    QTest::newRow("cp1252 name") << QByteArray() << " 2" << QStringLiteral("Renè 5€") << true
                                 << QByteArray("Ren\xE8 5\x80\r\n");
    QTest::newRow("outside cp1252") << QByteArray() << " 2" << QStringLiteral("Ж\U0001F600x") << true
                                    << QByteArray("??x\r\n");
}

void TestEndgame::exitRoutine()
{
    QFETCH(QByteArray, points);
    QFETCH(QString, score);
    QFETCH(QString, name);
    QFETCH(bool, saved);
    QFETCH(QByteArray, nameBytes);

    FakePlatform p;
    const QByteArray oldName = points.isEmpty() ? QByteArray() : QByteArray("Vecchio\r\n");
    seedRecord(p, points, oldName);
    auto t = startGame(p, name);
    QCOMPARE(t->label("lblpunti")->caption(), QString::fromLatin1(points));
    t->label("Punteggio")->setCaption(score);
    t->timer("Timer2")->start();

    bool timersStopped = false;
    p.answer = [&](const Box &b) {
        if (b.text == kFarewell)
            timersStopped = !t->timer("Timer1")->isActive() && !t->timer("Timer2")->isActive();
        return AnswerOk;
    };
    const qsizetype before = p.boxes.size();
    t->run(&Tavola::cmdExit_Click);

    QVERIFY(timersStopped);
    QCOMPARE(p.quits, QList<int>{0});
    QVERIFY(t->hasEnded());
    QVERIFY(p.errors.isEmpty());
    QCOMPARE(t->vars().exitDelayCounter, 1001);

    const QList<Box> shown = p.boxes.mid(before);
    QCOMPARE(shown.size(), saved ? 2 : 1);
    QCOMPARE(shown[0].text, kFarewell);
    QCOMPARE(shown[0].style, 0);
    QCOMPARE(shown[0].title, QStringLiteral("Vortana"));
    if (saved) {
        QCOMPARE(shown[1].text, kSaved);
        QCOMPARE(shown[1].style, 0);
        QCOMPARE(shown[1].title, QStringLiteral("Vortana"));
        QCOMPARE(fileBytes(pointsPath(p)), score.toLatin1() + "\r\n");
        QCOMPARE(fileBytes(namePath(p)), nameBytes);
    } else {
        QCOMPARE(fileBytes(pointsPath(p)), points);
        QCOMPARE(fileBytes(namePath(p)), oldName);
    }
    // Nothing more happens once the program has ended.
    QTest::qWait(50);
    QCOMPARE(p.quits.size(), 1);
    QCOMPARE(p.boxes.size(), before + shown.size());
}

void TestEndgame::failedWriteKeepsOldRecord()
{
    FakePlatform p;
    seedRecord(p, " 3\r\n", "Vecchio\r\n");
    auto t = startGame(p, QStringLiteral("Anna"));
    // A folder where the name file should be: no file can be written there.
    QVERIFY(QFile::remove(namePath(p)));
    QVERIFY(QDir().mkdir(namePath(p)));
    t->label("Punteggio")->setCaption(QStringLiteral(" 5"));
    const qsizetype before = p.boxes.size();

    t->run(&Tavola::cmdExit_Click);

    QCOMPARE(p.errors.size(), 1);
    QVERIFY2(p.errors[0].contains(QStringLiteral("/vortana.txt")), qPrintable(p.errors[0]));
    QCOMPARE(p.quits.size(), 1);
    QVERIFY(p.quits[0] != 0);
    QVERIFY(t->hasEnded());
    QCOMPARE(p.boxes.size(), before + 1);
    QCOMPARE(p.boxes.last().text, kFarewell);
    // No new points under the old name, and no half-written file about.
    QCOMPARE(fileBytes(pointsPath(p)), QByteArray(" 3\r\n"));
    QCOMPARE(QDir(p.data).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("avortana.txt")});
}

void TestEndgame::tickBehindFarewellStartsNoSecondExit()
{
    FakePlatform p;
    auto t = startGame(p);
    t->run(&Tavola::Form_Click);
    QVERIFY(t->timer("Timer1")->isActive() && t->timer("Timer2")->isActive());
    // Time is up just as the player clicks Exit; the box stays open long
    // enough for two ticks of Timer1, each of which would exit again.
    t->label("lblconto")->setCaption(QStringLiteral("00:00:00"));
    p.answer = [](const Box &b) {
        if (b.text == kFarewell)
            QTest::qWait(2500);
        return AnswerOk;
    };
    QTest::mouseClick(t->button("cmdExit"), Qt::LeftButton);
    QTest::qWait(300);
    QCOMPARE(count(p, kFarewell), 1);
    QCOMPARE(p.quits, QList<int>{0});
    QVERIFY(p.errors.isEmpty());
}

void TestEndgame::clockRunsOutBehindMissWarning()
{
    FakePlatform p;
    seedRecord(p, {}, {});
    auto t = startGame(p, QStringLiteral("Anna"));
    t->vars().score = 3;
    t->label("Punteggio")->setCaption(QStringLiteral(" 3"));
    FlatButton *button = t->target(Target::disparicmd);
    const QString number = button->text();

    bool warned = false;
    int paintedAtEnd = -1;
    p.answer = [&](const Box &b) {
        if (!warned && b.text.contains(number)) {
            warned = true;
            t->label("lblconto")->setCaption(QStringLiteral("00:00:00"));
            t->run(&Tavola::Timer1_Timer);
            paintedAtEnd = t->gradientsPainted();
        }
        return AnswerOk;
    };
    t->run(&Tavola::disparicmd_Click);

    QVERIFY(warned);
    QCOMPARE(p.quits, QList<int>{0});
    QCOMPARE(count(p, kFarewell), 1);
    QCOMPARE(count(p, kSaved), 1);
    QCOMPARE(fileBytes(pointsPath(p)), QByteArray(" 3\r\n"));
    QCOMPARE(fileBytes(namePath(p)), QByteArray("Anna\r\n"));
    // The miss that was waiting never lands.
    QCOMPARE(t->vars().score, std::int16_t(3));
    QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral(" 3"));
    QCOMPARE(button->text(), number);
    QCOMPARE(t->gradientsPainted(), paintedAtEnd);
    QVERIFY(p.errors.isEmpty());
}

void TestEndgame::newGameAnsweredNo()
{
    FakePlatform p;
    auto t = startGame(p);
    t->StartClock();
    for (int i = 0; i < 5; ++i)
        t->run(&Tavola::Timer1_Timer);
    t->vars().score = 5;
    t->label("Punteggio")->setCaption(QStringLiteral(" 5"));
    QWidget *button = t->control("paricmd");
    const QString number = t->target(Target::paricmd)->text();
    const int painted = t->gradientsPainted();
    const Variables before = t->vars();

    t->run(&Tavola::Next_Click);

    QCOMPARE(p.boxes.last().text, QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"));
    QCOMPARE(p.boxes.last().title, QStringLiteral("INIZIARE NUOVA GARA"));
    QCOMPARE(p.boxes.last().style, 292);
    QCOMPARE(t->label("lblconto")->caption(), QStringLiteral("00:14:55"));
    QVERIFY(fields(t->vars()) == fields(before));
    QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral(" 5"));
    QVERIFY(t->timer("Timer1")->isActive());
    QCOMPARE(t->control("paricmd"), button);
    QCOMPARE(t->target(Target::paricmd)->text(), number);
    QCOMPARE(t->gradientsPainted(), painted);
    QCOMPARE(p.prompts.size(), 1);
    QVERIFY(!t->hasEnded());
}

void TestEndgame::newGameAnsweredYes()
{
    FakePlatform p;
    seedRecord(p, " 9\r\n", "Vecchio\r\n");
    auto t = startGame(p, QStringLiteral("Anna"));
    t->run(&Tavola::Form_Click);
    for (int i = 0; i < 10; ++i)
        t->run(&Tavola::Timer1_Timer);
    t->moveTarget(Target::paricmd, 3, 4);
    t->vars().disparicmd2Number = 1234;
    t->vars().paricmd2Number = 77;
    t->vars().score = 20;
    t->label("Punteggio")->setCaption(QStringLiteral(" 20"));

    QPointer<QWidget> oldButton = t->control("paricmd");
    QPointer<QWidget> oldSurface = t->surface();
    QPointer<QAction> oldNext = t->menuItem("Next");
    QPointer<QTimer> oldClock = t->timer("Timer1");
    // Someone else saved a record meanwhile: the new game reads it.
    writeBytes(pointsPath(p), " 30\r\n");
    writeBytes(namePath(p), "Bea\r\n");
    const int painted = t->gradientsPainted();

    QString captionAtPrompt;
    bool timersOffAtPrompt = false, rebuiltAtPrompt = false;
    p.onPrompt = [&] {
        captionAtPrompt = t->target(Target::disparicmd1)->text();
        timersOffAtPrompt = !t->timer("Timer1")->isActive() && !t->timer("Timer2")->isActive();
        rebuiltAtPrompt = t->control("paricmd") && t->control("paricmd") != oldButton.data();
    };
    p.names = {QStringLiteral("Carla")};
    p.answer = yesToAll;

    t->run(&Tavola::Next_Click);

    QCOMPARE(p.prompts.size(), 2);
    QCOMPARE(captionAtPrompt, QStringLiteral("63"));
    QVERIFY(timersOffAtPrompt);
    QVERIFY(rebuiltAtPrompt);
    QCOMPARE(t->label("lblconto")->caption(), QStringLiteral("00:15:00"));
    QVERIFY(t->timer("Timer1")->isActive());
    QVERIFY(!t->timer("Timer2")->isActive());
    const ControlSpec &place = kControls[std::size_t(controlIndex("paricmd"))];
    QCOMPARE(t->target(Target::paricmd)->pos(), QPoint(twipsToPixels(place.left), twipsToPixels(place.top)));
    QVERIFY(t->target(Target::paricmd)->isHidden());
    QCOMPARE(t->label("lblpunti")->caption(), QStringLiteral(" 30\r\n"));
    QCOMPARE(t->label("lblnome")->caption(), QStringLiteral("Bea\r\n"));
    QCOMPARE(t->label("lblnome1")->caption(), QStringLiteral("Carla"));

    QVERIFY(waitActivated(*t));
    QTRY_VERIFY(oldButton.isNull() && oldSurface.isNull() && oldNext.isNull() && oldClock.isNull());
    QCOMPARE(t->vars().score, std::int16_t(0));
    QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral("0"));
    QCOMPARE(t->target(Target::paricmd)->text().toInt() % 11, 0);
    QVERIFY(t->target(Target::disparicmd1)->text() != QStringLiteral("63"));
    QCOMPARE(t->vars().disparicmd2Number, std::int16_t(1234));
    QCOMPARE(t->vars().paricmd2Number, std::int16_t(77));
    // Load and activation repaint; the creation's repaint is not repeated.
    QTest::qWait(100);
    QCOMPARE(t->gradientsPainted(), painted + 2);
    QCOMPARE(fileBytes(pointsPath(p)), QByteArray(" 30\r\n"));
    QCOMPARE(fileBytes(namePath(p)), QByteArray("Bea\r\n"));
    QVERIFY(p.quits.isEmpty() && p.errors.isEmpty());
}

void TestEndgame::newGameFromTheMenuBar()
{
    FakePlatform p;
    auto t = startGame(p);
    p.answer = yesToAll;

    // The menu bar that delivers the click is thrown away by it.
    for (int round = 1; round <= 2; ++round) {
        QPointer<QAction> next = t->menuItem("Next");
        if (round == 1) {
            next->trigger();
        } else {
            auto *bar = qobject_cast<QMenuBar *>(t->menuWidget());
            QVERIFY(bar);
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(next).center());
        }
        QCOMPARE(p.prompts.size(), 1 + round);
        QVERIFY(waitActivated(*t));
        QTRY_VERIFY(next.isNull());
        QTest::qWait(200);
        QVERIFY(t->menuItem("Next"));
        QVERIFY(t->isVisible());
    }
    QVERIFY(p.quits.isEmpty() && p.errors.isEmpty());
}

QTEST_MAIN(TestEndgame)
#include "test_endgame.moc"
