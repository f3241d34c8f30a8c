// The real sound path: the wave files the build makes, and the sound
// module's player behind PlayWave, direct and as QtPlatform loads it.
#include "sound/playwave.h"
#include "support.h"

#include <QDir>
#include <QSoundEffect>
#include <QTest>

using namespace vortana;
using namespace vortana::test;

namespace {

QString soundDir() { return QCoreApplication::applicationDirPath() + QStringLiteral("/suoni"); }

bool settled(const QSoundEffect *e) { return e->status() == QSoundEffect::Ready || e->status() == QSoundEffect::Error; }

}  // namespace

class TestSound : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(QDir(soundDir()).exists(), "no suoni/: build the 'sounds' target"); }

    void waves_data()
    {
        QTest::addColumn<QString>("path");
        for (const char *file : {"sparo.wav", "esplosi.wav", "laser.wav"})
            QTest::newRow(file) << soundDir() + QLatin1Char('/') + QLatin1String(file);
    }

    void waves()
    {
        QFETCH(QString, path);
        // Without an audio device Qt still decodes the file; only playing is mute.
        QSoundEffect e;
        e.setSource(QUrl::fromLocalFile(path));
        QVERIFY(QTest::qWaitFor([&] { return settled(&e); }, 10000));
        QVERIFY(e.status() != QSoundEffect::Error);
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
        WavePlayer player;
        const QString shot = soundDir() + QStringLiteral("/sparo.wav"), laser = soundDir() + QStringLiteral("/laser.wav");
        player.play(laser);
        QSoundEffect *first = player.current();
        QVERIFY(first && QTest::qWaitFor([&] { return settled(first); }, 10000));
        // Endless, so only the next sound can end it (Qt counts an effect as
        // playing even without an audio device).
        first->setLoopCount(QSoundEffect::Infinite);
        player.play(laser);
        QVERIFY(QTest::qWaitFor([&] { return first->isPlaying(); }, 5000));
        player.play(shot);
        QVERIFY(player.current() != first && !first->isPlaying());
        // The same path again plays the effect it already has.
        player.play(laser);
        QCOMPARE(player.current(), first);
    }
};

QTEST_MAIN(TestSound)
#include "test_sound.moc"
