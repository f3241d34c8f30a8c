// The rules that need no window: numbers, the generator, the movement
// table and the record's number.
#include "play/rules.h"
#include "records/records.h"

#include <QTest>
#include <algorithm>
#include <set>

using namespace vortana;

class TestRules : public QObject {
    Q_OBJECT
private slots:
    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letter first") << "abc12" << 0.0;
        QTest::newRow("blanks inside digits") << "\n 1 2\t3\n4" << 1234.0;
        QTest::newRow("blank after sign") << "- 4" << -4.0;
        QTest::newRow("decimal, blank after point") << "3. 25xyz" << 3.25;
        QTest::newRow("carriage return stops") << "1\r2" << 1.0;
        QTest::newRow("NUL stops") << QString::fromUtf8("8\0009", 3) << 8.0;
        QTest::newRow("nbsp is not a blank") << QString::fromUtf8("\u00a05") << 0.0;
    }

    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(vortana::leadingNumber(text), value);
    }

    void generator()
    {
        // Chi-square over 20 cells: 43.8 is the 0.1% critical value for 19
        // degrees of freedom.
        Rng rng(12345);
        constexpr int cells = 20, draws = 200000;
        std::array<int, cells> count{};
        for (int i = 0; i < draws; ++i) {
            const float r = rng.r();
            QVERIFY(r >= 0.0f && r < 1.0f);
            ++count[std::size_t(r * cells)];
        }
        double chi = 0, expected = double(draws) / cells;
        for (int c : count)
            chi += (c - expected) * (c - expected) / expected;
        QVERIFY2(chi < 43.8, qPrintable(QString::number(chi)));
        // Re-seeds that restart the sequence show in newNumbers and startOfPlayDraws.
    }

    void newNumbers_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        QTest::newRow("paricmd") << int(Target::paricmd) << 11 << 1100;
        QTest::newRow("paricmd1") << int(Target::paricmd1) << 22 << 561;
        QTest::newRow("paricmd2") << int(Target::paricmd2) << 11 << 220;
        QTest::newRow("disparicmd") << int(Target::disparicmd) << 2 << 111;
        QTest::newRow("disparicmd1") << int(Target::disparicmd1) << 1652 << 1652;
        QTest::newRow("disparicmd2") << int(Target::disparicmd2) << 1 << 989;  // 990 is a multiple
    }

    // A hit's new number is a multiple of 11, a miss's never is.
    void newNumbers()
    {
        QFETCH(int, target);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        const ClickRule &rule = clickRule(Target(target));
        Rng rng(99);
        std::set<int> seen;
        for (int i = 0; i < 20000; ++i) {
            rng.reseed(0);
            const int v = drawNumber(rule.rule, rule.n, rule.add, rng);
            QCOMPARE(v % 11 == 0, rule.hit);
            seen.insert(v);
        }
        QCOMPARE(*seen.begin(), lowest);
        QCOMPARE(*seen.rbegin(), highest);
    }

    void startOfPlayDraws()
    {
        // Per target: lowest, highest, remainder by 3 (-1: a multiple of 11).
        const std::array<std::array<int, 3>, kTargets> forms{{{11, 1650, -1}, {11, 330, -1}, {11, 220, -1},
                                                              {4, 301, 1}, {5, 302, 2}, {4, 301, 1}}};
        Rng rng;
        std::array<std::set<int>, kTargets> seen;
        std::set<int> first, second;
        for (int game = 0; game < 3000; ++game) {
            const auto n = vortana::startNumbers(rng);
            for (std::size_t i = 0; i < kTargets; ++i) {
                const auto [lo, hi, mod3] = forms[i];
                const int v = n[i];
                QVERIFY2(v >= lo && v <= hi, kTargetNames[i].data());
                QVERIFY2(mod3 < 0 ? v % 11 == 0 : v % 3 == mod3 && v % 11 != 0, kTargetNames[i].data());
                seen[i].insert(v);
            }
            const Digits d = drawDigits(rng);
            first.insert(d.first);
            second.insert(d.second);
        }
        // Re-seeding with 0 every game must not freeze the numbers.
        for (const auto &s : seen)
            QVERIFY(s.size() >= 15);
        QCOMPARE(first, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
        QCOMPARE(second, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    }

    // Counts and columns rather than cells, so that a slip in one cell shows.
    void movementTable()
    {
        const std::array<int, 6> shownFromHidden{2, 4, 2, 4, 1, 1};
        for (std::size_t k = 0; k < 6; ++k) {
            int count = 0;
            for (std::size_t i = 0; i < kTargets; ++i) {
                const MoveCell &c = kMoveCases[k][i];
                count += c.vis == Vis::Shown || (c.vis == Vis::Kept && std::ranges::count(kShownFirst, Target(i)));
                // Only disparicmd in case 4 avoids position 0.
                QCOMPARE(c.left.add != 0 || c.top.add != 0, k == 3 && Target(i) == Target::disparicmd);
            }
            QCOMPARE(count, shownFromHidden[k]);
        }
        auto column = [](Target t) {
            QString s;
            for (const MoveCase &c : kMoveCases)
                s += QLatin1Char("KSH"[int(c[std::size_t(t)].vis)]);
            return s;
        };
        QCOMPARE(column(Target::paricmd), QStringLiteral("SSHKHK"));
        QCOMPARE(column(Target::paricmd2), QStringLiteral("SKKSKK"));
        QCOMPARE(column(Target::disparicmd), QStringLiteral("KKHSHK"));

        // A renumbered non-multiple, 11 * (R(m) + 1) + c, stays off the multiples.
        const struct { Target t; int lowest, highest; } renumbered[] = {
            {Target::disparicmd1, 12, 221}, {Target::disparicmd, 15, 1654}, {Target::disparicmd2, 16, 225}};
        for (const auto &e : renumbered) {
            const Renumber r = renumberOf(e.t);
            QCOMPARE(11 * 1 + r.c, e.lowest);
            QCOMPARE(11 * r.m + r.c, e.highest);
        }
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "test_rules.moc"
