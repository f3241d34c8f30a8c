// The rules that need no window: numbers, the score, the clock, the
// generator, the bands of the gradient and the record text.
#include "play/rules.h"
#include "records/records.h"

#include <QTest>
#include <cmath>
#include <set>

using namespace vortana;

class TestRules : public QObject {
    Q_OBJECT
private slots:
    void leadingNumber_data();
    void leadingNumber();
    void scoreValue_data();
    void scoreValue();

    void clock_data();
    void clock();
    void clockBorrowsHours();

    void score_data();
    void score();

    void generatorIsUniform();
    void reseedWithSameValueKeepsVarying();
    void rNeverReachesN();

    void newNumbers_data();
    void newNumbers();
    void startNumbers();
    void digits();

    void bandsTileTheClientArea_data();
    void bandsTileTheClientArea();

    void movementTableMatchesItsSummary();
    void renumberingKeepsForm_data();
    void renumberingKeepsForm();

    void cp1252_data();
    void cp1252();
    void warningQuotesCaption();
};

void TestRules::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("hit record with line end") << " 12\r\n" << 12.0;
    QTest::newRow("negative with line end") << "-4\r\n" << -4.0;
    QTest::newRow("letter first") << "abc12" << 0.0;
    QTest::newRow("blanks inside digits") << " 1 2\t3\n4" << 1234.0;
    QTest::newRow("blank after sign") << "- 4" << -4.0;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("decimal") << "3.25xyz" << 3.25;
    QTest::newRow("point then blanks") << "2. 5" << 2.5;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("comma stops") << "3,5" << 3.0;
    QTest::newRow("carriage return stops") << "1\r2" << 1.0;
    QTest::newRow("only line end") << "\r\n" << 0.0;
    QTest::newRow("only line feeds then digits") << "\n\n9" << 9.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("two signs") << "--3" << 0.0;
    QTest::newRow("second line ignored") << "5\r\n7\r\n" << 5.0;
    QTest::newRow("NUL stops") << QString::fromUtf8("8\0009", 3) << 8.0;
    QTest::newRow("nbsp is not a blank") << QString::fromUtf8("\u00a05") << 0.0;
    QTest::newRow("large") << "32768" << 32768.0;
}

void TestRules::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(vortana::leadingNumber(text), value);
}

void TestRules::scoreValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("layout zero") << "0" << 0;
    QTest::newRow("after hit") << " 12" << 12;
    QTest::newRow("after hit negative") << " -3" << -3;
    QTest::newRow("after miss") << "-4" << -4;
    QTest::newRow("bottom of range") << "-32768" << -32768;
}

void TestRules::scoreValue()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(vortana::scoreValue(text), value);
}

void TestRules::clock_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("shown");
    QTest::newRow("start") << 0 << "00:15:00";
    QTest::newRow("1") << 1 << "00:14:59";
    QTest::newRow("59") << 59 << "00:14:01";
    QTest::newRow("60") << 60 << "00:14:00";
    QTest::newRow("61") << 61 << "00:13:59";
    QTest::newRow("891") << 891 << "00:00:09";
    QTest::newRow("899") << 899 << "00:00:01";
    QTest::newRow("900") << 900 << "00:00:00";
}

void TestRules::clock()
{
    QFETCH(int, ticks);
    QFETCH(QString, shown);
    std::int16_t h = 0, m = 15;
    float s = 0;
    for (int i = 0; i < ticks; ++i)
        countDown(h, m, s);
    QCOMPARE(clockText(h, m, s), shown);
}

void TestRules::clockBorrowsHours()
{
    std::int16_t h = 1, m = 0;
    float s = 0;
    countDown(h, m, s);
    QCOMPARE(clockText(h, m, s), QStringLiteral("00:59:59"));
}

void TestRules::score_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("delta");
    QTest::addColumn<bool>("hit");
    QTest::addColumn<int>("after");
    QTest::addColumn<QString>("shown");
    QTest::newRow("first miss") << 0 << -4 << false << -4 << "-4";
    QTest::newRow("hit after miss") << -4 << 1 << true << -3 << " -3";
    QTest::newRow("third hit") << 2 << 1 << true << 3 << " 3";
    QTest::newRow("miss after three hits") << 3 << -4 << false << -1 << "-1";
    QTest::newRow("miss reaches bottom") << -32764 << -4 << false << -32768 << "-32768";
    QTest::newRow("miss stays at bottom") << -32766 << -4 << false << -32768 << "-32768";
    QTest::newRow("hit stays at top") << 32767 << 1 << true << 32767 << " 32767";
}

void TestRules::score()
{
    QFETCH(int, start);
    QFETCH(int, delta);
    QFETCH(bool, hit);
    QFETCH(int, after);
    QFETCH(QString, shown);
    const std::int16_t s = addScore(std::int16_t(start), delta);
    QCOMPARE(int(s), after);
    QCOMPARE(scoreText(s, hit), shown);
}

void TestRules::generatorIsUniform()
{
    // Chi-square over 20 cells, 19 degrees of freedom: 43.8 is the 0.1%
    // critical value, so a sound generator fails about once in 1000 runs.
    Rng rng(12345);
    constexpr int cells = 20, draws = 200000;
    std::array<int, cells> count{};
    for (int i = 0; i < draws; ++i) {
        const float r = rng.r();
        QVERIFY(r >= 0.0f && r < 1.0f);
        ++count[std::size_t(r * cells)];
    }
    double chi = 0;
    const double expected = double(draws) / cells;
    for (int c : count)
        chi += (c - expected) * (c - expected) / expected;
    QVERIFY2(chi < 43.8, qPrintable(QString::number(chi)));
}

void TestRules::reseedWithSameValueKeepsVarying()
{
    Rng rng;
    std::set<int> seen;
    for (int i = 0; i < 200; ++i) {
        rng.reseed(0);
        seen.insert(rng.R(150));
    }
    // 200 draws from 150 values: a sequence restarted by the re-seed would
    // give one value; a fresh one gives well over a hundred.
    QVERIFY2(seen.size() > 100, qPrintable(QString::number(seen.size())));
}

void TestRules::rNeverReachesN()
{
    Rng rng(7);
    for (int n : {1, 2, 6, 10, 110, 990, 1100}) {
        for (int i = 0; i < 20000; ++i) {
            const int v = rng.R(n);
            QVERIFY(v >= 0 && v < n);
        }
    }
}

void TestRules::newNumbers_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("lowest");
    QTest::addColumn<int>("highest");
    QTest::addColumn<bool>("multiple");
    QTest::newRow("paricmd") << int(Target::paricmd) << 11 << 1100 << true;
    QTest::newRow("paricmd1") << int(Target::paricmd1) << 22 << 561 << true;
    QTest::newRow("paricmd2") << int(Target::paricmd2) << 11 << 220 << true;
    QTest::newRow("disparicmd") << int(Target::disparicmd) << 2 << 111 << false;
    QTest::newRow("disparicmd1") << int(Target::disparicmd1) << 1652 << 1652 << false;
    QTest::newRow("disparicmd2") << int(Target::disparicmd2) << 1 << 989 << false;  // 990 is a multiple
}

void TestRules::newNumbers()
{
    QFETCH(int, target);
    QFETCH(int, lowest);
    QFETCH(int, highest);
    QFETCH(bool, multiple);
    const ClickRule &rule = clickRule(Target(target));
    QCOMPARE(rule.hit, multiple);
    Rng rng(99);
    int lo = 1 << 30, hi = -1;
    for (int i = 0; i < 20000; ++i) {
        rng.reseed(0);
        const int v = drawNumber(rule.rule, rule.n, rule.add, rng);
        QCOMPARE(v % 11 == 0, multiple);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    QCOMPARE(lo, lowest);
    QCOMPARE(hi, highest);
}

void TestRules::startNumbers()
{
    Rng rng;
    std::array<std::set<int>, kTargets> seen;
    for (int game = 0; game < 3000; ++game) {
        const auto n = vortana::startNumbers(rng);
        for (int i = 0; i < kTargets; ++i)
            seen[std::size_t(i)].insert(n[std::size_t(i)]);
        for (Target t : {Target::disparicmd, Target::disparicmd2}) {
            const int v = n[std::size_t(t)];
            QVERIFY(v % 3 == 1 && v >= 4 && v <= 301 && v % 11 != 0);
        }
        const int d1 = n[std::size_t(Target::disparicmd1)];
        QVERIFY(d1 % 3 == 2 && d1 >= 5 && d1 <= 302 && d1 % 11 != 0);
        const int p = n[std::size_t(Target::paricmd)], p1 = n[std::size_t(Target::paricmd1)],
                  p2 = n[std::size_t(Target::paricmd2)];
        QVERIFY(p % 11 == 0 && p >= 11 && p <= 1650);
        QVERIFY(p1 % 11 == 0 && p1 >= 11 && p1 <= 330);
        QVERIFY(p2 % 11 == 0 && p2 >= 11 && p2 <= 220);
    }
    // Re-seeding with 0 every game must not freeze the numbers.
    for (const auto &s : seen)
        QVERIFY(s.size() >= 15);
}

void TestRules::digits()
{
    Rng rng;
    std::set<int> first, second;
    for (int i = 0; i < 5000; ++i) {
        const Digits d = drawDigits(rng);
        first.insert(d.first);
        second.insert(d.second);
    }
    QCOMPARE(first, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    QCOMPARE(second, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

void TestRules::bandsTileTheClientArea_data()
{
    QTest::addColumn<int>("height");
    QTest::newRow("layout height") << 672;
    QTest::newRow("exactly 512") << 512;
    QTest::newRow("small") << 300;
    QTest::newRow("tall") << 1024;
}

void TestRules::bandsTileTheClientArea()
{
    QFETCH(int, height);
    int next = 0;
    for (int i = 0; i < kBands; ++i) {
        const QRect r = bandRect(i, 608, height);
        QCOMPARE(r.top(), next);
        QVERIFY(r.height() >= height / kBands);
        QVERIFY(r.height() <= height / kBands + 1);
        next = r.bottom() + 1;
    }
    QCOMPARE(next, height);
}

void TestRules::movementTableMatchesItsSummary()
{
    // Where each button ends after a step that began with all six hidden,
    // and which cases show or hide each button: written down as counts so
    // that a slip in one cell of the table shows up here.
    const std::array<int, 6> shownFromHidden{2, 4, 2, 4, 1, 1};
    for (int k = 0; k < 6; ++k) {
        std::array<bool, kTargets> vis{};
        for (Target t : kShownFirst)
            vis[std::size_t(t)] = true;
        int count = 0;
        for (int i = 0; i < kTargets; ++i) {
            const Vis v = kMoveCases[std::size_t(k)][std::size_t(i)].vis;
            if (v != Vis::Kept)
                vis[std::size_t(i)] = v == Vis::Shown;
            count += vis[std::size_t(i)];
        }
        QCOMPARE(count, shownFromHidden[std::size_t(k)]);
    }
    auto cases = [](Target t, Vis v) {
        QList<int> ks;
        for (int k = 0; k < 6; ++k)
            if (kMoveCases[std::size_t(k)][std::size_t(t)].vis == v)
                ks.append(k + 1);
        return ks;
    };
    QCOMPARE(cases(Target::paricmd2, Vis::Hidden), QList<int>{});
    QCOMPARE(cases(Target::paricmd2, Vis::Shown), (QList<int>{1, 4}));
    QCOMPARE(cases(Target::disparicmd, Vis::Shown), QList<int>{4});
    QCOMPARE(cases(Target::disparicmd, Vis::Hidden), (QList<int>{3, 5}));
    QCOMPARE(cases(Target::paricmd, Vis::Shown), (QList<int>{1, 2}));
    QCOMPARE(cases(Target::paricmd, Vis::Hidden), (QList<int>{3, 5}));
    // Only disparicmd in case 4 avoids position 0.
    for (int k = 0; k < 6; ++k)
        for (int i = 0; i < kTargets; ++i) {
            const MoveCell &c = kMoveCases[std::size_t(k)][std::size_t(i)];
            const bool offset = c.left.add != 0 || c.top.add != 0;
            QCOMPARE(offset, k == 3 && Target(i) == Target::disparicmd);
        }
}

void TestRules::renumberingKeepsForm_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("lowest");
    QTest::addColumn<int>("highest");
    QTest::newRow("disparicmd1") << int(Target::disparicmd1) << 12 << 221;
    QTest::newRow("disparicmd") << int(Target::disparicmd) << 15 << 1654;
    QTest::newRow("disparicmd2") << int(Target::disparicmd2) << 16 << 225;
}

void TestRules::renumberingKeepsForm()
{
    QFETCH(int, target);
    QFETCH(int, lowest);
    QFETCH(int, highest);
    const Renumber r = renumberOf(Target(target));
    QCOMPARE(11 * 1 + r.c, lowest);
    QCOMPARE(11 * r.m + r.c, highest);
    QVERIFY(r.c % 11 != 0);
}

void TestRules::cp1252_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << "Mario Rossi" << QByteArray("Mario Rossi");
    QTest::newRow("accented") << QString::fromUtf8("è già") << QByteArray("\xe8 gi\xe0");
    QTest::newRow("euro") << QString::fromUtf8("€5") << QByteArray("\x80" "5");
    QTest::newRow("not in code page") << QString::fromUtf8("漢字") << QByteArray("??");
    QTest::newRow("emoji is one char") << QString::fromUtf8("a\U0001F600b") << QByteArray("a?b");
    QTest::newRow("SUB stays SUB") << QString(QChar(0x1a)) << QByteArray("\x1a");
}

void TestRules::cp1252()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeCp1252(text), bytes);
    if (!bytes.contains('?'))
        QCOMPARE(decodeCp1252(bytes), text);
}

void TestRules::warningQuotesCaption()
{
    QCOMPARE(warningText(clickRule(Target::disparicmd), QStringLiteral("57")),
             QString::fromUtf8("Attenzione!  57 non è  un numero divisibile per 11"));
    QCOMPARE(warningText(clickRule(Target::disparicmd1), QStringLiteral("63")),
             QString::fromUtf8("Attenzione! Hai sbagliato:  63 non è  un numero divisibile per 11"));
}

QTEST_GUILESS_MAIN(TestRules)
#include "test_rules.moc"
