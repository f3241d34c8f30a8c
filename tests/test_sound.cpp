// The real sound path: the wave files the build makes, and the sound
// module's player behind PlayWave, direct and as QtPlatform loads it.
// CTest runs it through tests/audio.sh, whose audio server it listens to.
#include "sound/playwave.h"
#include "support.h"

#include <QDir>
#include <QProcess>
#include <QSoundEffect>
#include <QTest>

using namespace vortana;
using namespace vortana::test;

namespace {

QString soundDir() { return QCoreApplication::applicationDirPath() + QStringLiteral("/suoni"); }

bool settled(const QSoundEffect *e) { return e->status() == QSoundEffect::Ready || e->status() == QSoundEffect::Error; }

// What reaches the audio server's sink, read from its monitor as 16-bit
// mono from the moment it is made.
class Ear {
public:
    Ear()
    {
        rec_.start(QStringLiteral("parec"), QStringLiteral("--device=vortana.monitor --raw --format=s16le --channels=1 --rate=44100 --latency-msec=20").split(u' '));
        // Listening from its first block: connecting takes a while.
        listening = rec_.waitForStarted(5000) && QTest::qWaitFor([&] { return rec_.bytesAvailable() > 0; }, 5000);
        rec_.readAllStandardOutput();
    }
    ~Ear()
    {
        rec_.terminate();
        rec_.waitForFinished(5000);
    }
    bool listening = false;

    // The loudest sample heard in the next ms milliseconds, -1 if the server
    // sent under half of them.
    int peak(int ms)
    {
        QTest::qWait(ms);
        const QByteArray pcm = rec_.readAllStandardOutput();
        if (pcm.size() < 44100 * ms / 1000)
            return -1;
        int loudest = 0;
        for (qsizetype i = 0; i + 1 < pcm.size(); i += 2)
            loudest = std::max(loudest, std::abs(int(qint16(quint8(pcm[i]) | quint8(pcm[i + 1]) << 8))));
        return loudest;
    }

private:
    QProcess rec_;
};

}  // namespace

class TestSound : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(QDir(soundDir()).exists(), "no suoni/: build the 'sounds' target"); }

    // Without an audio device Qt still decodes a file; only playing is mute.
    void waves()
    {
        for (const char *file : {"sparo.wav", "esplosi.wav", "laser.wav"}) {
            QSoundEffect e;
            e.setSource(QUrl::fromLocalFile(soundDir() + QLatin1Char('/') + QLatin1String(file)));
            QVERIFY2(QTest::qWaitFor([&] { return settled(&e); }, 10000) && e.status() == QSoundEffect::Ready, file);
        }
    }

    void unplayableIsSilent()
    {
        QTemporaryDir tmp;  // no suoni/ in it
        const QString path = tmp.path() + QStringLiteral("/suoni/laser.wav");
        WavePlayer player;
        QtPlatform platform;  // loads the module on first use
        QTest::failOnWarning(QRegularExpression(QStringLiteral("no sound module")));
        player.play(path);
        platform.playWave(path);
        QTest::qWait(300);
        QVERIFY(player.current() && !player.current()->isPlaying());
    }

    void oneSoundAtATime()
    {
        QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "no audio server: run it through tests/audio.sh, as CTest does");
        Ear ear;
        QVERIFY2(ear.listening, "the audio server's sink can't be heard");
        WavePlayer player;
        const QString shot = soundDir() + QStringLiteral("/sparo.wav"), laser = soundDir() + QStringLiteral("/laser.wav");
        // Both loaded before they are listened to: the shot first, heard in full.
        player.play(shot);
        QSoundEffect *second = player.current();
        QVERIFY(second && QTest::qWaitFor([&] { return settled(second) && !second->isPlaying(); }, 10000));
        player.play(laser);
        QSoundEffect *first = player.current();
        QVERIFY(first && QTest::qWaitFor([&] { return settled(first); }, 10000));
        QCOMPARE(first->status(), QSoundEffect::Ready);
        // Endless, so only the next sound can end it.
        first->setLoopCount(QSoundEffect::Infinite);
        player.play(laser);
        QVERIFY(QTest::qWaitFor([&] { return first->isPlaying(); }, 5000));
        // Each wave starts at 23196 and fades fast.
        ear.peak(0);
        QVERIFY2(ear.peak(600) > 10000, "the laser does not reach the audio server");
        player.play(shot);  // the same path again: the effect it already has
        QVERIFY(player.current() == second && !first->isPlaying());
        QVERIFY(QTest::qWaitFor([&] { return second->isPlaying(); }, 5000));
        QVERIFY2(ear.peak(300) > 10000, "the shot does not reach the audio server");
        // The shot lasts 0.35 s; the endless laser, had it gone on, would still sound.
        QVERIFY(QTest::qWaitFor([&] { return !second->isPlaying(); }, 5000));
        ear.peak(300);
        QCOMPARE(ear.peak(500), 0);
    }
};

QTEST_MAIN(TestSound)
#include "test_sound.moc"
