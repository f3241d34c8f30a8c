// The real sound path: the wave files the build makes, the sound module's
// player behind PlayWave and the folders QtPlatform finds them in.
#include "sound/playwave.h"
#include "support.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSoundEffect>
#include <QTest>
#include <QTimer>
#include <QtEndian>

using namespace vortana;
using namespace vortana::test;

namespace {

QString soundDir() { return QCoreApplication::applicationDirPath() + QStringLiteral("/suoni"); }

// Closes and counts any modal window that shows up while `f` runs.
template <typename F>
int modalsDuring(F f)
{
    int modals = 0;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            ++modals;
            w->close();
        }
    });
    watch.start();
    f();
    QTest::qWait(200);  // a box that opens a little later still counts
    return modals + (QApplication::activeModalWidget() != nullptr);
}

// The fake's dialogs with the game's own player behind PlayWave.
class RealSound : public FakePlatform {
public:
    WavePlayer player;
    void playWave(const QString &path) override
    {
        FakePlatform::playWave(path);
        player.play(path);
    }
};

bool settled(const QSoundEffect *e)
{
    return e->status() == QSoundEffect::Ready || e->status() == QSoundEffect::Error;
}

}  // namespace

class TestSound : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void wavesAreShortPcm_data();
    void wavesAreShortPcm();
    void wavesLoad();
    void unplayableIsSilent_data();
    void unplayableIsSilent();
    void newSoundReplacesOld();
    void platformFindsSoundFolder();
};

void TestSound::initTestCase()
{
    setUpApplication(*qApp);
    QVERIFY2(QDir(soundDir()).exists(), qPrintable(soundDir() + " missing: build the 'sounds' target"));
}

void TestSound::wavesAreShortPcm_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("shot") << "sparo.wav";
    QTest::newRow("explosion") << "esplosi.wav";
    QTest::newRow("laser") << "laser.wav";
}

void TestSound::wavesAreShortPcm()
{
    QFETCH(QString, file);
    const QByteArray w = fileBytes(soundDir() + QLatin1Char('/') + file);
    QVERIFY(w.size() > 44);
    QCOMPARE(w.left(4), QByteArray("RIFF"));
    QCOMPARE(w.mid(8, 4), QByteArray("WAVE"));
    QCOMPARE(qFromLittleEndian<quint32>(w.constData() + 4), quint32(w.size() - 8));

    auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(w.constData() + at); };
    auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(w.constData() + at); };
    int format = 0, channels = 0, bits = 0;
    quint32 rate = 0, data = 0;
    bool gotData = false;
    for (qsizetype at = 12; at + 8 <= w.size();) {
        const QByteArray id = w.mid(at, 4);
        const quint32 size = u32(at + 4);
        QVERIFY2(at + 8 + qsizetype(size) <= w.size(), id.constData());
        if (id == "fmt ") {
            QVERIFY(size >= 16);
            format = u16(at + 8);
            channels = u16(at + 10);
            rate = u32(at + 12);
            QCOMPARE(u16(at + 20), quint16(channels * 2));  // block align
            bits = u16(at + 22);
        } else if (id == "data") {
            data = size;
            gotData = true;
        }
        at += 8 + size + (size & 1);
    }
    QCOMPARE(format, 1);  // PCM
    QCOMPARE(bits, 16);
    QVERIFY(channels == 1 || channels == 2);
    QVERIFY(rate >= 8000 && rate <= 96000);
    QVERIFY(gotData);
    QCOMPARE(data % quint32(channels * 2), 0u);
    const double seconds = double(data) / (rate * channels * 2);
    QVERIFY2(seconds > 0.05 && seconds < 1.0, qPrintable(QString::number(seconds)));
}

void TestSound::wavesLoad()
{
    // Without an audio device Qt still decodes the file; only play is mute.
    for (const char *file : {"sparo.wav", "esplosi.wav", "laser.wav"}) {
        QSoundEffect e;
        e.setSource(QUrl::fromLocalFile(soundDir() + QLatin1Char('/') + QLatin1String(file)));
        QVERIFY(QTest::qWaitFor([&] { return settled(&e); }, 10000));
        qInfo() << file << e.status() << "loaded" << e.isLoaded();
        QVERIFY2(e.status() != QSoundEffect::Error, file);
    }
}

void TestSound::unplayableIsSilent_data()
{
    QTest::addColumn<QString>("folder");  // under a scratch dir
    QTest::addColumn<QByteArray>("bytes");  // written as the file; null: no file
    QTest::newRow("no suoni folder") << "" << QByteArray();
    QTest::newRow("file missing") << "suoni" << QByteArray();
    QTest::newRow("not a wave") << "suoni" << QByteArray("RIFF\x04\0\0\0junkjunkjunk", 20);
}

void TestSound::unplayableIsSilent()
{
    QFETCH(QString, folder);
    QFETCH(QByteArray, bytes);
    QTemporaryDir tmp;
    if (!folder.isEmpty())
        QVERIFY(QDir(tmp.path()).mkpath(folder));
    const QString path = tmp.path() + QStringLiteral("/suoni/laser.wav");
    if (!bytes.isNull())
        writeBytes(path, bytes);

    WavePlayer player;
    qint64 took = -1;
    const int modals = modalsDuring([&] {
        QElapsedTimer clock;
        clock.start();
        player.play(path);
        took = clock.elapsed();
    });
    QCOMPARE(modals, 0);
    QVERIFY2(took >= 0 && took < 2000, qPrintable(QString::number(took)));  // never waits
    QVERIFY(player.current());
    QTest::qWait(300);
    QVERIFY(!player.current()->isPlaying());

    // The game carries on through the real player: start, a hit, a miss.
    RealSound p;
    p.program = tmp.path();
    auto t = startGame(p);
    t->run(&Tavola::Form_Click);
    for (Target tg : {Target::paricmd, Target::disparicmd}) {
        t->target(tg)->show();
        t->run(tg == Target::paricmd ? &Tavola::paricmd_Click : &Tavola::disparicmd_Click);
    }
    QCOMPARE(p.sounds.size(), 3);
    QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral("-3"));
    QCOMPARE(p.boxes.size(), 2);  // the greeting and the warning, nothing from the sound
    QVERIFY(p.errors.isEmpty());
    QVERIFY(p.quits.isEmpty());
}

void TestSound::newSoundReplacesOld()
{
    WavePlayer player;
    const QString shot = soundDir() + QStringLiteral("/sparo.wav");
    const QString laser = soundDir() + QStringLiteral("/laser.wav");

    player.play(laser);
    QSoundEffect *first = player.current();
    QVERIFY(first);
    QVERIFY(QTest::qWaitFor([&] { return settled(first); }, 10000));
    // Endless, so that only the next sound can end it (Qt counts an effect
    // as playing even without an audio device).
    first->setLoopCount(QSoundEffect::Infinite);
    player.play(laser);
    QCOMPARE(player.current(), first);
    QVERIFY(QTest::qWaitFor([&] { return first->isPlaying(); }, 5000));

    player.play(shot);
    QSoundEffect *second = player.current();
    QVERIFY(second && second != first);
    QVERIFY(!first->isPlaying());

    // The same path again plays the effect it already has.
    const qsizetype effects = player.findChildren<QSoundEffect *>().size();
    QCOMPARE(effects, 2);
    for (int i = 0; i < 3; ++i) {
        player.play(laser);
        QCOMPARE(player.current(), first);
        player.play(shot);
        QCOMPARE(player.current(), second);
    }
    QCOMPARE(player.findChildren<QSoundEffect *>().size(), effects);
}

void TestSound::platformFindsSoundFolder()
{
    QtPlatform platform;
    QCOMPARE(platform.programDir(), QDir::cleanPath(QCoreApplication::applicationDirPath()));
    // What Form_Click hands over: the folder, then the relative path.
    const int modals = modalsDuring([&] {
        platform.playWave(platform.programDir() + QStringLiteral("/suoni/laser.wav"));
        platform.playWave(platform.programDir() + QStringLiteral("/suoni/nessuno.wav"));
    });
    QCOMPARE(modals, 0);
}

QTEST_MAIN(TestSound)
#include "test_sound.moc"
