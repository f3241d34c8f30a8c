// The record files as start-up sees them: created when missing, never
// changed, read whole into the record labels, and the errors that stop the
// program when they can't be created, read or saved.
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace vortana;
using namespace vortana::test;

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void existingFilesReadWhole_data();
    void existingFilesReadWhole();
    void failures_data();
    void failures();
};

void TestRecords::existingFilesReadWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shown");  // the lines on screen
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::newRow("hit record") << QByteArray(" 12\r\n") << " 12\r\n" << " 12\n";
    QTest::newRow("several lines, lone CR, NUL") << QByteArray("a\r\nb\nc\rd\0e\r\n", 12) << QString::fromLatin1("a\r\nb\nc\rd\0e\r\n", 12)
                                                 << QString::fromLatin1("a\nb\nc\nd\0e\n", 10);
    // clang-format on
}

// The name file holds "Nome " before the same bytes: each label must show its own file.
void TestRecords::existingFilesReadWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, caption);
    QFETCH(QString, shown);
    FakePlatform p;
    QVERIFY(QDir().mkpath(p.data));
    writeBytes(pointsPath(p), bytes);
    writeBytes(namePath(p), "Nome " + bytes);
    auto t = startGame(p);

    QVERIFY(p.errors.isEmpty() && p.quits.isEmpty());
    // As read, and as shown.
    QCOMPARE(t->label("lblpunti")->caption() + u'|' + t->label("lblpunti")->text(), caption + u'|' + shown);
    QCOMPARE(t->label("lblnome")->caption() + u'|' + t->label("lblnome")->text(), "Nome " + caption + u'|' + "Nome " + shown);
    QCOMPARE(fileBytes(pointsPath(p)) + '|' + fileBytes(namePath(p)), bytes + "|Nome " + bytes);
    // The load takes the first free channel and gives every channel back.
    QCOMPARE(std::pair(int(t->vars().fileNum), int(t->channels().next())), std::pair(1, 1));
}

void TestRecords::failures_data()
{
    // clang-format 14 breaks a row between two strings: the rows stay as written.
    // clang-format off
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("named");     // the message names this
    QTest::addColumn<QString>("notNamed");  // and not this
    QTest::newRow("data folder under a file") << "blocked" << "blocker/vortana" << "avortana.txt";
    QTest::newRow("no data folder") << "none" << "Cartella dei record sconosciuta: nessuna cartella dati dell'utente" << "";
#ifdef Q_OS_LINUX
    // Opens, then fails with an I/O error on read, for root too.
    QTest::newRow("points file fails on read") << "points EIO" << "/mem\"" << "";
#endif
    QTest::newRow("name file a folder at a save, buttons moving") << "exit" << "vortana.txt" << "";
    // clang-format on
}

// A run-time error stops the game: behind its report no timer ticks and no
// game code runs, however long the report stays open, nor after it, and the status is 1.
void TestRecords::failures()
{
    QFETCH(QString, setup);
    QFETCH(QString, named);
    QFETCH(QString, notNamed);
    FakePlatform p;
    if (setup == QLatin1String("blocked")) {
        writeBytes(p.tmp.path() + QStringLiteral("/blocker"), "x");
        p.data = p.tmp.path() + QStringLiteral("/blocker/vortana");
    } else if (setup == QLatin1String("none")) {
        p.data.clear();
    } else {
        QVERIFY(QDir().mkpath(p.data));
        if (setup == QLatin1String("points EIO"))
            QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), pointsPath(p)));
    }
    Tavola t(p, Rng::shared());
    p.onError = [&] {
        // Time is up and ticks come fast: a tick behind the report would show.
        t.label("lblconto")->setCaption(QStringLiteral("00:00:00"));
        for (int i = 0; i < kTargets; ++i)
            t.target(Target(i))->hide();
        t.timer("Timer1")->setInterval(10);
        t.timer("Timer2")->setInterval(10);
        QEventLoop report;
        QTimer::singleShot(500, &report, &QEventLoop::quit);
        report.exec();
    };
    t.start();
    const bool atExit = setup == QLatin1String("exit");
    if (atExit) {
        QVERIFY(waitActivated(t));
        t.run(&Tavola::Form_Click);
        QVERIFY(QFile::remove(namePath(p)) && QDir().mkdir(namePath(p)));
        t.label("Punteggio")->setCaption(QStringLiteral(" 5"));
        t.run(&Tavola::cmdExit_Click);
    }
    // Nothing runs after the end: no activation, no further box.
    QTest::qWait(200);
    QCOMPARE(p.quits, QList<int>{1});
    // Paths as the player's system writes them.
    QVERIFY2(p.errors.size() == 1 && p.errors[0].contains(QDir::toNativeSeparators(named)) && (notNamed.isEmpty() || !p.errors[0].contains(notNamed)),
             qPrintable(p.errors.join(u'\n')));
    QVERIFY(!t.isVisible() && (atExit || t.target(Target::paricmd)->text().isEmpty()));
    QCOMPARE(p.boxes.size(), atExit ? 2 : 1);
    QCOMPARE(p.boxes.last().text.endsWith(u"Ciao a presto!"), atExit);
    QCOMPARE(t.label("lblconto")->caption(), QStringLiteral("00:00:00"));
    for (int i = 0; i < kTargets; ++i)
        QVERIFY(t.target(Target(i))->isHidden());
}

QTEST_MAIN(TestRecords)
#include "test_records.moc"
