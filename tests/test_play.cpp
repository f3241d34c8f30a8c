// Play on a started game: the start of play, the movement step, the six
// click handlers and what goes on behind the warning of a miss.
#include "support.h"

#include <QSignalSpy>
#include <QTest>
#include <set>

using namespace vortana;
using namespace vortana::test;

namespace {

constexpr void (Tavola::*kHandlers[kTargets])() = {
    &Tavola::paricmd_Click,    &Tavola::paricmd1_Click,    &Tavola::paricmd2_Click,
    &Tavola::disparicmd_Click, &Tavola::disparicmd1_Click, &Tavola::disparicmd2_Click};

const QColor kGreen(0, 255, 0), kRed(255, 0, 0), kCyanColor(0, 255, 255);

int shownCount(const Tavola &t)
{
    int n = 0;
    for (int i = 0; i < kTargets; ++i)
        n += !t.target(Target(i))->isHidden();
    return n;
}

void hideAll(Tavola &t)
{
    for (int i = 0; i < kTargets; ++i)
        t.target(Target(i))->hide();
}

// A spot of the client area that no visible control covers.
QPoint bareSpot(const Tavola &t)
{
    for (int y = 100; y < t.surface()->height(); y += 7)
        for (int x = 10; x < t.surface()->width(); x += 7)
            if (!t.surface()->childAt(x, y))
                return {x, y};
    return {};
}

// Notes, at every sound, how far the game had got.
class Recorder : public FakePlatform {
public:
    struct At {
        int flashCounter;
        std::array<QColor, kTargets> back;
        int gradients;
        bool timer2;
        int shown;
    };
    Tavola *game = nullptr;
    QList<At> at;

    void playWave(const QString &path) override
    {
        FakePlatform::playWave(path);
        if (!game)
            return;
        At a{game->vars().flashCounter, {}, game->gradientsPainted(), game->timer("Timer2")->isActive(),
             shownCount(*game)};
        for (int i = 0; i < kTargets; ++i)
            a.back[std::size_t(i)] = game->target(Target(i))->backColor();
        at.append(a);
    }
};

// What a movement step can see and change.
struct State {
    std::array<bool, kTargets> shown;
    std::array<QPoint, kTargets> logical, pixel;
    std::array<QString, kTargets> caption;
    std::array<int, kTargets> number;  // the variable behind a non-multiple
};

State snapshot(const Tavola &t)
{
    State s{};
    const Variables &v = t.vars();
    s.number = {0, 0, 0, v.disparicmdNumber, v.disparicmd1Number, v.disparicmd2Number};
    for (int i = 0; i < kTargets; ++i) {
        const FlatButton *b = t.target(Target(i));
        s.shown[std::size_t(i)] = !b->isHidden();
        s.logical[std::size_t(i)] = t.targetPosition(Target(i));
        s.pixel[std::size_t(i)] = b->pos();
        s.caption[std::size_t(i)] = b->text();
    }
    return s;
}

bool inDraw(int v, Draw d) { return v >= d.add && v < d.n + d.add; }

// Whether case `c` turns `a` into `b`; h is the client height in pixels.
bool explains(const MoveCase &c, const State &a, const State &b, int h)
{
    for (std::size_t i = 0; i < kTargets; ++i) {
        const MoveCell &cell = c[i];
        // paricmd1, disparicmd1 and disparicmd2 are shown before the case applies
        const bool shownFirst = i == 1 || i == 4 || i == 5;
        const bool shown = cell.vis == Vis::Shown || (cell.vis == Vis::Kept && (shownFirst || a.shown[i]));
        if (b.shown[i] != shown)
            return false;
        if (cell.left.used() ? !inDraw(b.logical[i].x(), cell.left) || b.pixel[i].x() != b.logical[i].x()
                             : b.pixel[i].x() != a.pixel[i].x() || b.logical[i].x() != a.logical[i].x())
            return false;
        // A drawn top lands on its pixel row; one that happens to equal the
        // old value may keep the row it had.
        const bool onRow = b.pixel[i].y() == b.logical[i].y() * h / kScaleHeight
            || (b.logical[i].y() == a.logical[i].y() && b.pixel[i].y() == a.pixel[i].y());
        if (cell.top.used() ? !inDraw(b.logical[i].y(), cell.top) || !onRow
                            : b.pixel[i].y() != a.pixel[i].y() || b.logical[i].y() != a.logical[i].y())
            return false;
        if (cell.renumber) {
            const Renumber r = renumberOf(Target(i));
            const int n = b.number[i];
            if (b.caption[i] != QString::number(n) || n % 11 != r.c || n < 11 + r.c || n > 11 * r.m + r.c)
                return false;
        } else if (b.caption[i] != a.caption[i] || b.number[i] != a.number[i]) {
            return false;
        }
    }
    return true;
}

QString describe(const State &s)
{
    QStringList out;
    for (std::size_t i = 0; i < kTargets; ++i)
        out << QStringLiteral("%1:%2 (%3,%4)px (%5,%6) '%7'")
                   .arg(QString::fromLatin1(kTargetNames[i].data(), qsizetype(kTargetNames[i].size())))
                   .arg(s.shown[i] ? "on" : "off")
                   .arg(s.pixel[i].x())
                   .arg(s.pixel[i].y())
                   .arg(s.logical[i].x())
                   .arg(s.logical[i].y())
                   .arg(s.caption[i]);
    return out.join(QStringLiteral("; "));
}

}  // namespace

class TestPlay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }
    void startOfPlay_data();
    void startOfPlay();
    void movementFollowsTable();
    void clickHandlers_data();
    void clickHandlers();
    void scoreText_data();
    void scoreText();
    void timersTickBehindWarning();
};

void TestPlay::startOfPlay_data()
{
    QTest::addColumn<bool>("onCmdNext");
    QTest::newRow("bare spot") << false;
    QTest::newRow("disabled cmdNext") << true;
}

void TestPlay::startOfPlay()
{
    QFETCH(bool, onCmdNext);
    Recorder p;
    auto t = startGame(p);
    p.game = t.get();
    // No tick of its own between a click and the checks after it.
    t->timer("Timer2")->setInterval(3600 * 1000);

    auto click = [&] {
        if (onCmdNext) {
            // Through the window, as the player's click comes: the disabled
            // button takes no click of its own.
            QWidget *next = t->button("cmdNext");
            QVERIFY(!next->isEnabled());
            const QPoint at = next->mapTo(t.get(), next->rect().center());
            QCOMPARE(t->childAt(at), next);
            QTest::mouseClick(t->windowHandle(), Qt::LeftButton, {}, at);
        } else {
            const QPoint spot = bareSpot(*t);
            QVERIFY(!spot.isNull());
            QTest::mouseClick(t->surface(), Qt::LeftButton, {}, spot);
        }
    };
    const QString laser = p.program + QStringLiteral("/suoni/laser.wav");

    for (int round = 0; round < 2; ++round) {
        // From all six hidden a step shows one, two or four of them.
        hideAll(*t);
        const int painted = t->gradientsPainted();
        const Variables before = t->vars();
        click();
        QCOMPARE(p.sounds.size(), round + 1);
        QCOMPARE(p.sounds.last(), laser);
        // The laser starts before the gradient, the timer and the step.
        QCOMPARE(p.at.last().gradients, painted);
        QCOMPARE(p.at.last().shown, 0);
        QCOMPARE(p.at.last().timer2, round == 1);

        QCOMPARE(t->gradientsPainted(), painted + 1);
        QVERIFY(t->timer("Timer2")->isActive());
        const int shown = shownCount(*t);
        QVERIFY2(shown == 1 || shown == 2 || shown == 4, qPrintable(QString::number(shown)));
        // Its digits are its own: num1 and num2 belong to cmdNext_Click.
        QCOMPARE(t->vars().num1, before.num1);
        QCOMPARE(t->vars().num2, before.num2);

        const QImage img = backgroundOf(*t);
        const QColor top = img.pixelColor(0, 0), bottom = img.pixelColor(img.width() - 1, img.height() - 1);
        QCOMPARE(top.blue(), 0);
        QCOMPARE(bottom.blue(), 255);
        QCOMPARE(bottom.red(), top.red());
        QCOMPARE(bottom.green(), top.green());
        QVERIFY(top.red() >= 20 && top.red() <= 180 && top.red() % 20 == 0);
        QVERIFY(top.green() <= 180 && top.green() % 20 == 0);
    }
    QVERIFY(p.errors.isEmpty());
}

void TestPlay::movementFollowsTable()
{
    FakePlatform p;
    auto t = startGame(p);
    const int h = t->surface()->height();

    // Tops still taken from the layout's twips stay on their pixel rows
    // when a step draws only the left (paricmd1 in case 1).
    const State start = snapshot(*t);
    for (int i = 0; i < kTargets; ++i) {
        t->moveTarget(Target(i), 7, t->targetPosition(Target(i)).y());
        QCOMPARE(t->target(Target(i))->pos(), QPoint(7, start.pixel[std::size_t(i)].y()));
        QVERIFY(qAbs(t->targetPosition(Target(i)).y() - start.pixel[std::size_t(i)].y() * kScaleHeight / h) <= 1);
    }

    std::array<int, 6> unique{};
    std::array<std::set<int>, kTargets> numbers;

    for (int step = 0; step < 3000; ++step) {
        const State a = snapshot(*t);
        t->Timer2_Timer();
        const State b = snapshot(*t);
        QList<int> cases;
        for (int k = 0; k < 6; ++k)
            if (explains(kMoveCases[std::size_t(k)], a, b, h))
                cases.append(k);
        QVERIFY2(!cases.isEmpty(),
                 qPrintable(QStringLiteral("step %1\nbefore %2\nafter  %3").arg(step).arg(describe(a), describe(b))));
        if (cases.size() == 1) {
            const int k = cases.first();
            ++unique[std::size_t(k)];
            for (std::size_t i = 0; i < kTargets; ++i)
                if (kMoveCases[std::size_t(k)][i].renumber)
                    numbers[i].insert(b.number[i]);
        }
    }
    for (int k = 0; k < 6; ++k)
        QVERIFY2(unique[std::size_t(k)] >= 300, qPrintable(QStringLiteral("case %1 seen %2 times").arg(k + 1).arg(unique[std::size_t(k)])));
    // Re-seeding with the previous number must not lock the numbers in a loop.
    QVERIFY(numbers[std::size_t(Target::disparicmd)].size() >= 100);   // of 150
    QVERIFY(numbers[std::size_t(Target::disparicmd1)].size() >= 15);   // of 20
    QVERIFY(numbers[std::size_t(Target::disparicmd2)].size() >= 15);   // of 20
    QVERIFY(p.errors.isEmpty());
}

void TestPlay::clickHandlers_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("lo");
    QTest::addColumn<int>("hi");

    const QString after = QStringLiteral(" non è  un numero divisibile per 11");
    QTest::newRow("paricmd") << int(Target::paricmd) << "" << "" << 11 << 1100;
    QTest::newRow("paricmd1") << int(Target::paricmd1) << "" << "" << 22 << 561;
    QTest::newRow("paricmd2") << int(Target::paricmd2) << "" << "" << 11 << 220;
    QTest::newRow("disparicmd") << int(Target::disparicmd) << "57" << QStringLiteral("Attenzione!  57") + after << 2 << 111;
    QTest::newRow("disparicmd1") << int(Target::disparicmd1) << "63"
                                 << QStringLiteral("Attenzione! Hai sbagliato:  63") + after << 1652 << 1652;
    QTest::newRow("disparicmd2") << int(Target::disparicmd2) << "1000" << QStringLiteral("Attenzione!  1000") + after << 1 << 989;
}

void TestPlay::clickHandlers()
{
    QFETCH(int, target);
    QFETCH(QString, caption);
    QFETCH(QString, warning);
    QFETCH(int, lo);
    QFETCH(int, hi);
    const auto tg = Target(target);
    const bool hit = warning.isEmpty();

    Recorder p;
    auto t = startGame(p);
    p.game = t.get();
    FlatButton *b = t->target(tg);
    if (!caption.isEmpty())
        b->setText(caption);
    b->raise();
    b->show();

    struct {
        int calls = 0;
        QStringList sounds;
        QColor back;
        bool shown = false;
        int score = 0;
    } inBox;
    p.answer = [&](const Box &) {
        ++inBox.calls;
        inBox.sounds = p.sounds;
        inBox.back = b->backColor();
        inBox.shown = !b->isHidden();
        inBox.score = t->vars().score;
        return int(AnswerOk);
    };
    const QString sound = p.program + (hit ? QStringLiteral("/suoni/sparo.wav") : QStringLiteral("/suoni/esplosi.wav"));
    const int boxes = p.boxes.size();
    const int painted = t->gradientsPainted();

    auto checkNumber = [&] {
        bool ok = false;
        const int n = b->text().toInt(&ok);
        QVERIFY2(ok && n >= lo && n <= hi && (n % 11 == 0) == hit, qPrintable(b->text()));
        if (tg == Target::paricmd2)
            QCOMPARE(int(t->vars().paricmd2Number), n);
        if (tg == Target::disparicmd2)
            QCOMPARE(int(t->vars().disparicmd2Number), n);
    };

    // The player's click on the shown button.
    QTest::mouseClick(b, Qt::LeftButton);

    QCOMPARE(t->vars().flashCounter, hit ? 20001 : 10001);
    QCOMPARE(p.sounds, QStringList{sound});  // no laser: a number button does not start play
    QVERIFY(!t->timer("Timer2")->isActive());
    // The sound comes after the whole flash, with the button in its flash colour.
    QCOMPARE(p.at.size(), 1);
    QCOMPARE(p.at[0].flashCounter, hit ? 20001 : 10001);
    QCOMPARE(p.at[0].back[std::size_t(target)], hit ? kGreen : kRed);
    if (hit) {
        QCOMPARE(p.boxes.size(), boxes);
    } else {
        QCOMPARE(p.boxes.size(), boxes + 1);
        QCOMPARE(p.boxes.last().text, warning);
        QCOMPARE(p.boxes.last().style, int(OkOnly));
        QCOMPARE(p.boxes.last().title, QStringLiteral("Vortana"));
        // Explosion first, then the box over a still red, still shown button;
        // the score changes only once the box is closed.
        QCOMPARE(inBox.sounds, QStringList{sound});
        QCOMPARE(inBox.back, kRed);
        QVERIFY(inBox.shown);
        QCOMPARE(inBox.score, 0);
    }
    QCOMPARE(int(t->vars().score), hit ? 1 : -4);
    QCOMPARE(t->label("Punteggio")->caption(), hit ? QStringLiteral(" 1") : QStringLiteral("-4"));
    QVERIFY(b->isHidden());
    QCOMPARE(b->backColor(), kCyanColor);
    checkNumber();
    QCOMPARE(t->gradientsPainted(), painted + 1);

    // Later clicks keep to the range and, but for disparicmd1, vary.
    std::set<int> seen;
    for (int i = 0; i < 40; ++i) {
        b->show();
        t->run(kHandlers[target]);
        QVERIFY(b->isHidden());
        QCOMPARE(b->backColor(), kCyanColor);
        checkNumber();
        seen.insert(b->text().toInt());
    }
    QCOMPARE(t->gradientsPainted(), painted + 41);
    QCOMPARE(p.sounds.size(), 41);
    QCOMPARE(inBox.calls, hit ? 0 : 41);
    QVERIFY2(lo == hi ? seen.size() == 1 : seen.size() >= 5, qPrintable(QString::number(seen.size())));
    QVERIFY(p.errors.isEmpty());
    QVERIFY(p.quits.isEmpty());
}

void TestPlay::scoreText_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("clicks");  // h: a hit on paricmd, m: a miss on disparicmd
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("miss then hit") << 0 << "mh" << QStringList{"-4", " -3"};
    QTest::newRow("three hits then a miss") << 0 << "hhhm" << QStringList{" 1", " 2", " 3", "-1"};
    QTest::newRow("bottom of the range") << -32764 << "mmh" << QStringList{"-32768", "-32768", " -32767"};
    QTest::newRow("top of the range") << 32766 << "hhm" << QStringList{" 32767", " 32767", "32763"};
}

void TestPlay::scoreText()
{
    QFETCH(int, start);
    QFETCH(QString, clicks);
    QFETCH(QStringList, texts);
    FakePlatform p;
    auto t = startGame(p);
    t->vars().score = std::int16_t(start);
    for (qsizetype i = 0; i < clicks.size(); ++i) {
        const bool hit = clicks[i] == QLatin1Char('h');
        t->target(hit ? Target::paricmd : Target::disparicmd)->show();
        t->run(hit ? &Tavola::paricmd_Click : &Tavola::disparicmd_Click);
        QCOMPARE(t->label("Punteggio")->caption(), texts[i]);
        QCOMPARE(QString::number(t->vars().score), texts[i].trimmed());
    }
    QVERIFY(p.errors.isEmpty());
    QVERIFY(p.quits.isEmpty());
}

void TestPlay::timersTickBehindWarning()
{
    FakePlatform p;
    auto t = startGame(p);
    t->run(&Tavola::Form_Click);
    QVERIFY(t->timer("Timer2")->isActive());

    FlatButton *b = t->target(Target::disparicmd);
    b->setText(QStringLiteral("57"));
    b->show();
    QSignalSpy clock(t->timer("Timer1"), &QTimer::timeout);
    QSignalSpy steps(t->timer("Timer2"), &QTimer::timeout);
    const QString clockBefore = t->label("lblconto")->caption();

    bool ticked = false, movedBehind = false;
    p.answer = [&](const Box &) {
        ticked = QTest::qWaitFor([&] { return clock.size() >= 2 && steps.size() >= 2; }, 20000);
        // What a step may do behind the box: give the button a number the
        // miss never draws, and show it again.
        for (int i = 0; i < 10000 && !(b->text().toInt() > 111 && !b->isHidden()); ++i)
            t->Timer2_Timer();
        movedBehind = b->text().toInt() > 111 && !b->isHidden();
        return int(AnswerOk);
    };
    t->run(&Tavola::disparicmd_Click);

    QVERIFY(ticked);
    QVERIFY(movedBehind);
    QVERIFY(t->label("lblconto")->caption() != clockBefore);
    QCOMPARE(p.boxes.size(), 2);  // the greeting and the warning
    QCOMPARE(p.boxes.last().text, QStringLiteral("Attenzione!  57 non è  un numero divisibile per 11"));
    QCOMPARE(int(t->vars().score), -4);
    QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral("-4"));
    QVERIFY(b->isHidden());
    QCOMPARE(b->backColor(), kCyanColor);
    const int n = b->text().toInt();
    QVERIFY2(n >= 2 && n <= 111 && n % 11 != 0, qPrintable(b->text()));
    QVERIFY(p.errors.isEmpty());
}

QTEST_MAIN(TestPlay)
#include "test_play.moc"
