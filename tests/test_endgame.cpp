// The end of a game: the clock running out, the exit routine with the
// record it may save, a new game rebuilding the window, and both timers
// ticking behind each modal box (and behind none after an error: test_records).
// It runs on Linux and under Wine; the rows that need a Linux machine's
// mounts and groups are machine checks (tests/CMakeLists.txt).
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QTest>

#ifdef Q_OS_LINUX
#include <climits>
#include <sys/mount.h>
#include <unistd.h>
#endif

using namespace vortana;
using namespace vortana::test;

using Handler = void (Tavola::*)();
Q_DECLARE_METATYPE(Handler)

namespace {

const QString kFarewell = QStringLiteral("                      Ciao a presto!");
const QString kSaved = QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\"");

QStringList texts(const QList<Box> &boxes)
{
    QStringList out;
    for (const Box &b : boxes)
        out << b.text;
    return out;
}

#ifdef Q_OS_LINUX
// What only a Linux machine does to the record: a file bind-mounted onto
// itself, which no rename replaces; a small file system, filled up; files
// of one of the player's groups other than the one new files get.
class LinuxFault {
public:
    LinuxFault(const QString &fault, const FakePlatform &p)
        : fault_(fault), p_(p), disk_(QFile::encodeName(p.tmp.filePath(QStringLiteral("share"))))
    {
    }
    bool needsMachine() const
    {
        return fault_.startsWith(QLatin1String("mount")) || fault_ == QLatin1String("full") || fault_ == QLatin1String("group");
    }
    // Before the record's folder is made.
    bool prepare()
    {
        return fault_ != QLatin1String("full")
            || (QDir().mkpath(QString::fromLocal8Bit(disk_)) && ::mount("tmpfs", disk_.constData(), "tmpfs", 0, "size=64k") == 0);
    }
    ~LinuxFault()
    {
        if (fault_ == QLatin1String("full"))
            ::umount(disk_.constData());
    }
    bool arm()
    {
        if (fault_ == QLatin1String("group")) {
            // Root may take any group.
            gid_t mine[NGROUPS_MAX];
            for (int i = ::getgroups(NGROUPS_MAX, mine); i-- > 0;)
                players_ = mine[i] != ::getegid() ? mine[i] : players_;
            players_ = players_ == gid_t(-1) && ::geteuid() == 0 ? 4242 : players_;
            for (const QString &f : {pointsPath(p_), namePath(p_)})
                if (::chown(QFile::encodeName(f).constData(), uid_t(-1), players_) != 0)
                    return false;
        } else if (fault_.startsWith(QLatin1String("mount"))) {
            mounted_ = QFile::encodeName(fault_ == QLatin1String("mount points") ? pointsPath(p_) : namePath(p_));
            return ::mount(mounted_.constData(), mounted_.constData(), nullptr, MS_BIND, nullptr) == 0;
        } else if (fault_ == QLatin1String("full")) {
            writeBytes(QString::fromLocal8Bit(disk_) + QStringLiteral("/pieno"), QByteArray(1 << 20, 'x'));
        }
        return true;
    }
    void disarm()
    {
        if (!mounted_.isEmpty())
            ::umount(mounted_.constData());
    }
    bool groupKept() const
    {
        return fault_ != QLatin1String("group")
            || (QFileInfo(pointsPath(p_)).groupId() == players_ && QFileInfo(namePath(p_)).groupId() == players_);
    }

private:
    QString fault_;
    const FakePlatform &p_;
    QByteArray disk_, mounted_;
    gid_t players_ = gid_t(-1);
};
#endif

}  // namespace

class TestEndgame : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void clockRunsOut();
    void exitRoutine_data();
    void exitRoutine();
    void twoGamesOneRecord_data();
    void twoGamesOneRecord();
    void newGame();
    void ticksBehindBoxes_data();
    void ticksBehindBoxes();
};

void TestEndgame::clockRunsOut()
{
    FakePlatform p;
    auto t = startGame(p);
    // Ticks by hand from a fresh clock; the real timer must not add any.
    t->StartClock();
    t->timer("Timer1")->stop();
    const QMap<int, QString> shown{{1, "00:14:59"}, {60, "00:14:00"}, {61, "00:13:59"}, {891, "00:00:09"}, {900, "00:00:00"}};
    for (int tick = 1; tick <= 900; ++tick) {
        t->run(&Tavola::Timer1_Timer);
        if (shown.contains(tick))
            QCOMPARE(t->label("lblconto")->caption(), shown[tick]);
    }
    QVERIFY(p.quits.isEmpty());
    t->run(&Tavola::Timer1_Timer);
    QCOMPARE(texts(p.boxes).count(kFarewell), 1);
    QCOMPARE(p.quits, QList<int>{0});
    QCOMPARE(t->label("lblconto")->caption(), QStringLiteral("00:00:00"));
}

void TestEndgame::exitRoutine_data()
{
    QTest::addColumn<QByteArray>("points");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("nameBytes");  // empty: nothing saved
    QTest::addColumn<QString>("fault");         // what keeps the record from being written, or how the game ends if not by Exit
    QTest::addColumn<QString>("error");         // what the error message names; empty: no error
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::newRow("first run, 0") << QByteArray() << "0" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("first run, 1") << QByteArray() << " 1" << "Anna" << QByteArray("Anna\r\n") << "" << "";
    QTest::newRow("first run, -4") << QByteArray() << "-4" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("-4 beaten by -3") << QByteArray("-4\r\n") << "-3" << "Anna" << QByteArray("Anna\r\n") << "" << "";
    QTest::newRow("equal") << QByteArray(" 12\r\n") << " 12" << "Anna" << QByteArray() << "" << "";
    QTest::newRow("+5 not beaten by 5") << QByteArray("+5\r\n") << " 5" << "Anna" << QByteArray() << "" << "";
    // Closing the window runs the exit routine; the end of the desktop session
    // saves a better score with no box, in play or behind the farewell.
    QTest::newRow("window closed") << QByteArray("-4\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << "close" << "";
    QTest::newRow("session ends in play") << QByteArray("-4\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << "session" << "";
    QTest::newRow("session ends behind the farewell") << QByteArray("-4\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << "farewell" << "";
    QTest::newRow("letters count 0, 1") << QByteArray("abc\r\n") << " 1" << "Anna" << QByteArray("Anna\r\n") << "" << "";
    QTest::newRow("empty name") << QByteArray() << " 2" << "" << QByteArray("\r\n") << "" << "";
    QTest::newRow("cp1252 to its last byte, '?' outside it, SUB kept")
        << QByteArray() << " 2" << QStringLiteral("è €Жÿ😀x\x1a") << QByteArray("\xE8 \x80?\xFF?x\x1a\r\n") << "" << "";
#ifdef Q_OS_LINUX
    // Only a mount makes the name file's rename fail once the new points are
    // in place: they must go back, or they would pair with the old holder.
    // CTest runs this row in a mount namespace of its own (record_rollback).
    QTest::newRow("mounted") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << "mount" << "/vortana.txt";
    QTest::newRow("mounted, first record") << QByteArray() << " 5" << "Anna" << QByteArray() << "mount" << "/vortana.txt";
    // Points first: a points file that can't be replaced leaves the name alone.
    QTest::newRow("points file mounted") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << "mount points" << "/avortana.txt";
    // A small file system of its own, filled up (record_rollback too).
    QTest::newRow("full disk") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray() << "full" << "disco pieno";
    // Files of the players' group, which is not the saver's own (record_group).
    QTest::newRow("group kept") << QByteArray(" 3\r\n") << " 5" << "Anna" << QByteArray("Anna\r\n") << "group" << "";
#endif
    // clang-format on
}

void TestEndgame::exitRoutine()
{
    QFETCH(QByteArray, points);
    QFETCH(QString, score);
    QFETCH(QString, name);
    QFETCH(QByteArray, nameBytes);
    QFETCH(QString, fault);
    QFETCH(QString, error);
    const bool saved = !nameBytes.isEmpty(), failed = !error.isEmpty();
    FakePlatform p;
#ifdef Q_OS_LINUX
    LinuxFault machine(fault, p);
    if (machine.needsMachine())
        MACHINE_CHECK();
    QVERIFY(machine.prepare());
#endif
    const QByteArray oldName = points.isEmpty() ? QByteArray() : QByteArray("Vecchio\r\n");
    QDir().mkpath(p.data);
    writeBytes(pointsPath(p), points);
    writeBytes(namePath(p), oldName);
    auto t = startGame(p, name);
    t->run(&Tavola::Form_Click);
    p.answer = [&](const Box &b) {
        if (b.text == kFarewell && fault == QLatin1String("farewell"))
            t->endSession();
        return AnswerOk;
    };
#ifdef Q_OS_LINUX
    QVERIFY(machine.arm());
#endif
    t->label("Punteggio")->setCaption(score);
    const qsizetype before = p.boxes.size();
    if (fault == QLatin1String("close"))
        t->close();
    else
        fault == QLatin1String("session") ? t->endSession() : t->run(&Tavola::cmdExit_Click);
    const QByteArray holder = fileBytes(namePath(p));
#ifdef Q_OS_LINUX
    machine.disarm();
    QVERIFY(machine.groupKept());
#endif

    QCOMPARE(p.quits, QList<int>{failed ? 1 : 0});
    QCOMPARE(p.errors.size(), failed ? 1 : 0);
    QVERIFY2(!failed || p.errors[0].contains(error), qPrintable(p.errors.value(0)));
    QCOMPARE(texts(p.boxes.mid(before)), QStringList({kFarewell, kSaved}).first(fault == QLatin1String("session") ? 0 : (saved && fault != QLatin1String("farewell") ? 2 : 1)));
    QCOMPARE(fileBytes(pointsPath(p)), saved ? score.toLatin1() + "\r\n" : points);
    QCOMPARE(holder, saved ? nameBytes : oldName);
    QCOMPARE(QDir(p.data).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QVERIFY(!t->isVisible() && !t->timer("Timer2")->isActive());
}

void TestEndgame::twoGamesOneRecord_data()
{
    QTest::addColumn<bool>("cut");
    QTest::newRow("the other saved") << false;
    QTest::newRow("the other's save cut short after its journal") << true;
}

// Two games of one player share the record. The one that ends last still
// shows the record as it was when it began, and must not save below the
// score the other has saved meanwhile, even one only in a journal.
void TestEndgame::twoGamesOneRecord()
{
    QFETCH(bool, cut);
    FakePlatform a, b;
    b.data = a.data;
    QDir().mkpath(a.data);
    writeBytes(pointsPath(a), "-4\r\n");
    auto gameB = startGame(b, QStringLiteral("Bea"));
    auto gameA = startGame(a, QStringLiteral("Anna Bea"));  // a journal line of 10 bytes
    gameA->label("Punteggio")->setCaption(QStringLiteral(" 1"));
    if (cut)
        writeBytes(a.data + QLatin1String("/vortana.journal"), kJournal);
    else
        gameA->run(&Tavola::cmdExit_Click);
    gameB->run(&Tavola::cmdExit_Click);

    QCOMPARE(fileBytes(pointsPath(a)) + fileBytes(namePath(a)), QByteArray(" 1\r\nAnna Bea\r\n"));
    QCOMPARE(QDir(a.data).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QVERIFY(texts(b.boxes).last() == kFarewell && b.quits == QList<int>{0});
}

void TestEndgame::newGame()
{
    FakePlatform p;
    auto t = startGame(p);
    const QPoint home = t->target(Target::paricmd)->pos();
    t->run(&Tavola::Form_Click);
    t->label("lblconto")->setCaption(QStringLiteral("00:12:34"));
    t->moveTarget(Target::paricmd, 3, 4);
    t->vars().disparicmd2Number = 1234;
    t->label("Punteggio")->setCaption(QStringLiteral(" 20"));
    t->vars().score = 20;
    QPointer<QWidget> oldButton = t->control("paricmd");
    QPointer<QAction> oldNext = t->menuItem("Next");
    QPointer<QTimer> oldClock = t->timer("Timer1");
    const int painted = t->gradientsPainted();

    // No (the default answer) leaves the game as it was.
    t->run(&Tavola::Next_Click);
    QCOMPARE(t->label("lblconto")->caption(), QStringLiteral("00:12:34"));
    QVERIFY(t->timer("Timer1")->isActive() && t->timer("Timer2")->isActive());
    QCOMPARE(t->targetPosition(Target::paricmd), QPoint(3, 4));

    // Yes from the menu, whose action goes with the old window.
    writeBytes(pointsPath(p), " 30\r\n");  // someone else saved a record meanwhile
    QString atPrompt;                      // the caption, and whether a timer ticks
    p.onPrompt = [&] {
        atPrompt = t->target(Target::disparicmd1)->text() + (t->timer("Timer1")->isActive() || t->timer("Timer2")->isActive() ? " ticking" : "");
    };
    p.answer = [](const Box &b) { return b.style & YesNo ? AnswerYes : AnswerOk; };
    oldNext->trigger();

    QCOMPARE(atPrompt, QStringLiteral("63"));
    QCOMPARE(t->label("lblconto")->caption(), QStringLiteral("00:15:00"));
    QVERIFY(!t->timer("Timer2")->isActive());
    QCOMPARE(t->target(Target::paricmd)->pos(), home);
    QCOMPARE(t->label("lblpunti")->caption(), QStringLiteral(" 30\r\n"));
    QVERIFY(waitActivated(*t));
    // Every unload throws its controls, menus and timers away.
    QTRY_VERIFY(oldButton.isNull() && oldNext.isNull() && oldClock.isNull());
    QCOMPARE(t->vars().disparicmd2Number, std::int16_t(1234));
    // Load and activation repaint; the creation's repaint is not repeated.
    QTest::qWait(100);
    QCOMPARE(t->gradientsPainted(), painted + 2);
    // The new game's first hit counts from 0.
    t->target(Target::paricmd)->show();
    QTest::mouseClick(t->target(Target::paricmd), Qt::LeftButton);
    QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral(" 1"));
    QVERIFY(p.quits.isEmpty() && p.errors.isEmpty());
}

// Both timers ticking behind each of the game's modal boxes: the buttons
// keep moving, nothing may run twice, a click scores once, and nothing runs
// after the end.
void TestEndgame::ticksBehindBoxes_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<QString>("box");       // the end of the text of the box it waits in
    QTest::addColumn<bool>("timeRunsOut");  // while that box waits
    const QString warning = QStringLiteral("divisibile per 11"), question = QStringLiteral("GARA  ?");
    QTest::newRow("warning") << Handler(&Tavola::disparicmd_Click) << warning << false;
    QTest::newRow("warning, time runs out") << Handler(&Tavola::disparicmd_Click) << warning << true;
    QTest::newRow("farewell from the button") << Handler(&Tavola::cmdExit_Click) << QStringLiteral("presto!") << true;
    QTest::newRow("record confirmation") << Handler(&Tavola::cmdExit_Click) << QStringLiteral("N E\"") << true;
    QTest::newRow("new-game question") << Handler(&Tavola::Next_Click) << question << false;
    QTest::newRow("new-game question, time runs out") << Handler(&Tavola::Next_Click) << question << true;
}

void TestEndgame::ticksBehindBoxes()
{
    QFETCH(Handler, handler);
    QFETCH(QString, box);
    QFETCH(bool, timeRunsOut);

    FakePlatform p;
    auto t = startGame(p);
    t->run(&Tavola::Form_Click);
    // Ticks come fast so that a few hundred milliseconds behind a box hold
    // many of them.
    t->timer("Timer1")->setInterval(20);
    t->timer("Timer2")->setInterval(20);
    if (box.endsWith(u'"'))
        t->label("Punteggio")->setCaption(QStringLiteral(" 5"));  // beats the empty record
    const std::int16_t scoreBefore = t->vars().score;
    const QString clockBefore = t->label("lblconto")->caption();
    int boxesOpen = 0, maxOpen = 0;
    bool moved = false;
    p.answer = [&](const Box &b) {
        maxOpen = std::max(maxOpen, ++boxesOpen);
        if (b.text.endsWith(box)) {
            // Only a movement step shows a target again.
            for (int i = 0; i < kTargets; ++i)
                t->target(Target(i))->hide();
            QTest::qWait(200);
            for (int i = 0; i < kTargets; ++i)
                moved = moved || t->target(Target(i))->isVisible();
            if (timeRunsOut) {
                t->vars().clockMinutes = 0;
                t->vars().clockSeconds = 0;
                t->label("lblconto")->setCaption(QStringLiteral("00:00:00"));
            }
            QTest::qWait(400);
        }
        --boxesOpen;
        return b.style & YesNo ? AnswerNo : AnswerOk;
    };
    t->run(handler);

    QVERIFY(moved);  // the buttons go on jumping behind every box
    QCOMPARE(texts(p.boxes).count(kFarewell), int(timeRunsOut));
    QCOMPARE(p.quits, QList<int>(timeRunsOut, 0));
    if (timeRunsOut) {
        // A handler that waited in its box returns without scoring.
        QCOMPARE(t->vars().score, scoreBefore);
        const QString after = t->label("lblconto")->caption() + QString::number(t->gradientsPainted());
        QTest::qWait(200);
        QCOMPARE(t->label("lblconto")->caption() + QString::number(t->gradientsPainted()), after);
        QCOMPARE(p.prompts.size(), 1);  // the question's Yes/No never reloads
    } else {
        QVERIFY(t->label("lblconto")->caption() != clockBefore);
        if (handler == Handler(&Tavola::disparicmd_Click))
            QCOMPARE(t->label("Punteggio")->caption(), QString::number(scoreBefore - 4));
    }
    // Only the farewell may open over a box that was waiting.
    QCOMPARE(maxOpen, timeRunsOut && handler != Handler(&Tavola::cmdExit_Click) ? 2 : 1);
}

QTEST_MAIN(TestEndgame)
#include "test_endgame.moc"
