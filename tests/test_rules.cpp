// The rules that need no window: the generator, the record's number, the causes of failure.
#include "play/random.h"
#include "records/files.h"
#include "records/number.h"

#include <QTest>
#include <cerrno>
#include <set>

using namespace vortana;

class TestRules : public QObject {
    Q_OBJECT
private slots:
    // Blanks inside the number are skipped; CR, NUL and the no-break space end it.
    void leadingNumber()
    {
        // clang-format would join this list's lines into one.
        // clang-format off
        for (const auto &[text, value] : std::initializer_list<std::pair<QString, double>>{
                 {"", 0}, {"abc12", 0}, {"\n 1 2\t3\n4", 1234}, {"- 4", -4}, {"3. 25xyz", 3.25},
                 {"1\r2", 1}, {QString::fromUtf8("8\0009", 3), 8}, {QString::fromUtf8("\u00a05"), 0}})
            QVERIFY2(vortana::leadingNumber(text) == value, qPrintable(text));
        // clang-format on
    }

    // What the system says of a failed save, in the player's words: most of
    // these no test can make the kernel say.
    void causes()
    {
        // clang-format would join this list's lines into one.
        // clang-format off
#ifdef Q_OS_WIN
        // Windows' own error codes (GetLastError).
        for (auto [err, said] : {std::pair(5, "permesso negato"), {32, "il file è aperto da un altro programma"}, {33, "il file è bloccato da un altro programma"},
                                 {112, "disco pieno"}, {39, "disco pieno"}, {1295, "quota del disco esaurita"}, {19, "disco di sola lettura"},
                                 {2, "file o cartella inesistente"}, {3, "file o cartella inesistente"}, {1921, "è un collegamento simbolico"},
                                 {1117, "errore di lettura o scrittura del disco"}, {21, "il disco non è pronto"}, {0, "errore di sistema 0"}})
#else
        for (auto [err, said] : {std::pair(EACCES, "permesso negato"), {EPERM, "operazione non permessa"}, {ENOSPC, "disco pieno"}, {EDQUOT, "quota del disco esaurita"},
                                 {EROFS, "disco di sola lettura"}, {EISDIR, "è una cartella"}, {ENOENT, "file o cartella inesistente"}, {ELOOP, "è un collegamento simbolico"},
                                 {ENOTDIR, "una parte del percorso non è una cartella"}, {EIO, "errore di lettura o scrittura del disco"}, {0, "errore di sistema 0"}})
#endif
            QCOMPARE(files::systemCause(err), QString::fromUtf8(said));
        // clang-format on
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
        // Re-seeded with 0 before every draw, as the click handlers do, it
        // still draws anew.
        std::set<float> fresh;
        for (int i = 0; i < 100; ++i) {
            rng.reseed(0);
            fresh.insert(rng.r());
        }
        QVERIFY2(fresh.size() > 95, qPrintable(QString::number(fresh.size())));
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "test_rules.moc"
