// The window as a started game shows it: controls against their layout
// rows, the menu, timers, cursors, access keys and which clicks reach
// the window.
#include "support.h"
#include "window/assets.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <cmath>

using namespace vortana;
using namespace vortana::test;

// A control in the words of the layout table: name | caption | pixels |
// back | text | font | other | tooltip | tab. Colours left to the system
// are empty.
static QString describe(QWidget *w)
{
    QStringList words{w->isHidden() ? "hidden" : "", w->isEnabled() ? "" : "disabled"};  // an empty word is none
    QString caption, back, text;
    const QPalette plain = QApplication::palette(w);
    if (auto *b = qobject_cast<FlatButton *>(w)) {
        words << "graphical" << (b->picture().isNull() ? "" : "picture");
        caption = b->text();
        back = b->backColor().name();
    } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
        caption = e->text();
        back = e->palette().color(QPalette::Base).name();
    } else if (auto *l = qobject_cast<Label *>(w)) {
        caption = l->caption();
        words << (l->autoFillBackground() ? "opaque" : "transparent");
        if (l->frameStyle() == (QFrame::Box | QFrame::Plain))
            words << "flat"
                  << "border";
        else if (l->frameStyle() == (QFrame::Panel | QFrame::Sunken))
            words << "border";
        words << (l->alignment() & Qt::AlignHCenter ? "centred" : "") << (l->autoSize() ? "auto-size" : "");
        for (auto [role, out] : {std::pair(QPalette::Window, &back), std::pair(QPalette::WindowText, &text)})
            if (l->palette().color(QPalette::Active, role) != plain.color(QPalette::Active, role))
                *out = l->palette().color(QPalette::Active, role).name();
    } else if (auto *b = qobject_cast<QPushButton *>(w)) {
        words << "standard look";
        caption = b->text();
    }
    if (w->cursor().shape() == Qt::BitmapCursor)
        words << (w->cursor().hotSpot() == QPoint(10, 10) ? "custom pointer" : "icon pointer");
    words.removeAll(QString());
    words.sort();
    const QFont f = w->font();
    QString font = f.family() == QFont().family() && f.pointSizeF() == QFont().pointSizeF()
        ? QStringLiteral("system default")
        : f.family() + u' ' + QString::number(f.pointSizeF());
    font += QLatin1String(f.bold() ? " bold" : "") + QLatin1String(f.italic() ? " italic" : "");
    const QRect g = w->geometry();
    return QStringList{w->objectName(), caption, QStringLiteral("%1,%2 %3x%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()),
                       back, text, font, words.join(QStringLiteral("; ")), w->toolTip(), w->property("tabIndex").toString()}
        .join(QStringLiteral(" | "));
}

// WCAG contrast of two pixels.
static double contrastOf(QRgb a, QRgb b)
{
    auto linear = [](int v) { const double s = v / 255.0; return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4); };
    auto lum = [&](QRgb c) { return 0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c)) + 0.05; };
    return qMax(lum(a), lum(b)) / qMin(lum(a), lum(b));
}

static QImage cursorImage(QWidget *w) { return w->cursor().pixmap().toImage().convertToFormat(QImage::Format_ARGB32); }

class TestLayout : public QObject {
    Q_OBJECT
    FakePlatform platform;
    std::unique_ptr<Tavola> game;

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        game = startGame(platform);
    }

    // Every control as the load builds it, seen at the name prompt, before
    // start-up changes any caption or fits any label.
    void controls()
    {
        struct Row {
            const char *name, *caption;
            int left, top, width, height;
            const char *back, *text, *font, *other, *tip;
            int tab;
        };
        static const Row rows[] = {
            {"disparicmd2", "", 5040, 6840, 1215, 1215, "#00ffff", "", "MS Sans Serif 24 bold", "graphical; hidden", "", 31},
            {"disparicmd1", "63", 6840, 5160, 1215, 1215, "#00ffff", "", "MS Sans Serif 24 bold", "graphical; hidden", "", 30},
            {"paricmd2", "", 1560, 6480, 1215, 1215, "#00ffff", "", "MS Sans Serif 24 bold", "graphical; hidden", "", 29},
            {"paricmd1", "", 2880, 4200, 1215, 1215, "#00ffff", "", "MS Sans Serif 24 bold", "graphical; hidden", "", 28},
            {"cmdExit", "E&xit", 6120, 0, 3135, 735, "#c000c0", "", "MS Sans Serif 8.25 bold", "graphical; picture", "Ti prego resta ancora, forse riuscirai a farmi uscire ", 23},
            {"cmdNext", "&Clicca per iniziare", 3000, 0, 3210, 735, "#00c000", "", "MS Sans Serif 8.25 bold", "disabled; graphical; icon pointer; picture", "Go", 22},
            {"Inizio", "Inizio", 3840, 120, 1215, 495, "", "", "system default", "hidden; standard look", "", 21},
            {"paricmd", "", 2400, 1560, 1215, 1215, "#00ffff", "", "MS Sans Serif 24 bold", "custom pointer; graphical; hidden", "", 20},
            {"disparicmd", "", 5760, 1560, 1215, 1215, "#00ffff", "", "MS Sans Serif 24 bold", "graphical; hidden", "", 19},
            {"txtAnswer", "", 5520, 1680, 2775, 1200, "#00ffff", "", "Arial 48 bold", "disabled; hidden", "Inserisci il risultato e  premi il tasto  Invio", 4},
            {"Label6", "Punti complessivi", -120, 0, 3135, 735, "#0000ff", "#ffff80", "MS Sans Serif 18", "auto-size; border; centred; flat; opaque", "", 27},
            {"lblMessage", "", 1560, 3720, 6615, 615, "#00ffff", "#ff0000", "MS Sans Serif 24 bold italic", "centred; hidden; icon pointer; transparent", "", 26},
            {"lblScore", "", 600, 840, 1215, 975, "#ffff00", "", "Times New Roman 36 bold", "border; centred; transparent", "Questo è il tuo punteggio. Forza con il  record", 25},
            {"Punteggio", "0", 960, 1080, 495, 615, "", "", "MS Sans Serif 24", "auto-size; centred; transparent", "", 24},
            {"lblpunti", "0", 8400, 7800, 270, 555, "", "#c000c0", "MS Sans Serif 24", "auto-size; transparent", "", 18},
            {"Label13", "con punti", 6720, 7920, 1455, 435, "", "#c000c0", "MS Sans Serif 18", "auto-size; transparent", "", 17},
            {"lblnome", "nome", 2640, 7920, 990, 435, "", "#0000ff", "MS Sans Serif 18 bold", "auto-size; transparent", "", 16},
            {"Label12", "Il record  è di ", 120, 7920, 2295, 375, "", "#c000c0", "MS Sans Serif 18", "transparent", "", 15},
            {"lblnome1", "", 1920, 4560, 120, 435, "", "#008000", "MS Sans Serif 18 bold", "auto-size; transparent", "", 14},
            {"Label14", "Sfidante", 135, 4560, 1395, 495, "", "#008000", "MS Sans Serif 18", "auto-size; border; centred; transparent", "", 13},
            {"Label5", "", 960, 7680, 6615, 615, "#00ffff", "#ff0000", "MS Sans Serif 24 bold italic", "centred; hidden; icon pointer; transparent", "", 12},
            {"lblconto", "00.00.00", 120, 2400, 1575, 495, "", "#ffff00", "Arial Black 12 bold", "border; transparent", "", 11},
            {"Label11", "Tempo restante", 120, 1920, 1575, 375, "", "#ffff00", "MS Sans Serif 9.75", "transparent", "", 10},
            {"Label3", "Risposte totali", 5640, 3840, 2340, 495, "", "#0000ff", "MS Sans Serif 18", "auto-size; border; hidden; transparent", "", 9},
            {"Label1", "Risposte errate", 5760, 3120, 2520, 495, "", "#ff0000", "MS Sans Serif 18", "auto-size; border; hidden; transparent", "", 8},
            {"lblScore2", "0", 7560, 2880, 555, 885, "", "#0000ff", "Times New Roman 36 bold", "auto-size; border; centred; hidden; transparent", "", 7},
            {"lblScore1", "0", 6960, 3600, 540, 885, "", "#ff0000", "Times New Roman 36 bold", "auto-size; border; centred; hidden; transparent", "", 0},
            {"lblTime", "", 8400, 1800, 90, 300, "", "", "MS Sans Serif 12 bold", "auto-size; hidden; opaque", "Clicca sotto di me per attivare il Timer", 6},
            {"lblNum2", "", 7080, 2040, 345, 1185, "#00ffff", "", "Arial 48 bold", "auto-size; border; centred; disabled; hidden; opaque", "", 5},
            {"Label4", "=", 7320, 2040, 615, 975, "#80ffff", "", "Arial 48 bold", "centred; disabled; hidden; opaque", "", 3},
            {"Label2", "X", 7320, 1800, 615, 975, "#80ffff", "", "Arial 48", "centred; disabled; hidden; opaque", "", 2},
            {"lblNum1", "", 6840, 1680, 345, 1185, "#00ffff", "", "Arial 48 bold", "auto-size; border; centred; disabled; hidden; opaque", "", 1},
        };
        FakePlatform p;
        Tavola t(p, Rng::shared());
        QStringList built;
        p.onPrompt = [&] {
            for (const Row &row : rows)
                built << describe(t.control(row.name));
        };
        t.start();
        QCOMPARE(built.size(), qsizetype(std::size(rows)));
        QCOMPARE(kControls.size(), std::size(rows));
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            const Row &r = rows[i];
            const QString want = QStringList{r.name, r.caption, QStringLiteral("%1,%2 %3x%4").arg(r.left / 15).arg(r.top / 15).arg(r.width / 15).arg(r.height / 15),
                                             r.back, r.text, r.font, r.other, r.tip, QString::number(r.tab)}
                                     .join(QStringLiteral(" | "));
            QCOMPARE(built[qsizetype(i)], want);
            // Twips finer than a pixel, and the creation order, which stacks them.
            const ControlSpec &s = kControls[i];
            QCOMPARE(std::tuple(s.name, s.left, s.top, s.width, s.height), std::tuple(std::string_view(r.name), r.left, r.top, r.width, r.height));
        }

        const QStringList tabs{"txtAnswer", "disparicmd", "paricmd", "Inizio", "cmdNext",
                               "cmdExit", "paricmd1", "paricmd2", "disparicmd1", "disparicmd2"};
        QWidget *first = game->control("txtAnswer");
        QStringList chain{first->objectName()};
        for (QWidget *w = first->nextInFocusChain(); w != first && chain.size() < 100; w = w->nextInFocusChain())
            if (w->parentWidget() == game->surface() && w->focusPolicy() != Qt::NoFocus)
                chain << w->objectName();
        QCOMPARE(chain, tabs);
        // A label that is not auto-size keeps its box whatever it is given to show.
        game->label("Label12")->setCaption(QStringLiteral("Il record  è di qualcuno con un nome molto lungo\r\n"));
        QCOMPARE(game->control("Label12")->geometry(), QRect(8, 528, 153, 25));
    }

    // An auto-size label keeps its laid-out box until the game changes its
    // caption (controls() checks the others' boxes): "0" written again into
    // Punteggio and an empty name are no change. What start-up writes before
    // the window shows is fitted once it shows, from the same corner; a
    // record read back ends with CR LF: two lines, the second empty.
    void laidOutUntilChanged_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("points");  // the points file before the game
        QTest::addColumn<QRect>("box");          // pixels, client coordinates; no size: fitted
        // clang-format 14 breaks a row between two strings: the rows stay as written.
        // clang-format off
        QTest::newRow("score 0") << "Punteggio" << "" << QByteArray() << QRect(64, 72, 33, 41);
        QTest::newRow("no name") << "lblnome1" << "" << QByteArray() << QRect(128, 304, 8, 29);
        QTest::newRow("long name") << "lblnome1" << "Bartolomeo Bianchi" << QByteArray() << QRect(128, 304, 0, 0);
        QTest::newRow("long record") << "lblpunti" << "" << QByteArray("-12345\r\n") << QRect(560, 520, 0, 0);
        // clang-format on
    }

    void laidOutUntilChanged()
    {
        QFETCH(QString, label);
        QFETCH(QString, name);
        QFETCH(QByteArray, points);
        QFETCH(QRect, box);
        FakePlatform p;
        QDir().mkpath(p.data);
        writeBytes(pointsPath(p), points);
        auto t = startGame(p, name);
        QTest::qWait(50);
        Label *l = t->label(label.toStdString());
        if (box.isEmpty()) {
            QCOMPARE(l->pos(), box.topLeft());
            const QFontMetrics fm(l->font());
            const QStringList lines = l->caption().split(QStringLiteral("\r\n"));
            for (const QString &line : lines)
                QVERIFY2(l->contentsRect().width() >= fm.horizontalAdvance(line), qPrintable(line));
            QVERIFY(l->contentsRect().height() >= lines.size() * fm.height());
            return;
        }
        QCOMPARE(l->geometry(), box);
        if (label != QLatin1String("Punteggio"))
            return;
        // The first hit writes " 1": from then on the label fits it, same corner.
        QWidget *hit = t->control("paricmd");
        hit->show();
        QTest::mouseClick(hit, Qt::LeftButton);
        QCOMPARE(l->caption(), QStringLiteral(" 1"));
        QCOMPARE(l->geometry(), QRect(box.topLeft(), l->sizeHint()));
        QVERIFY(l->size() != box.size());
    }

    void picturesTimersMenu()
    {
        const QImage sight = cursorImage(game->surface()), icon = cursorImage(game->control("cmdNext"));
        const QImage target = cursorImage(game->control("paricmd"));
        auto drawn = [](const QImage &i, int x, int y) { return qAlpha(i.pixel(x, y)) > 0; };
        // A gun-sight: two lines crossing in the middle, each with cross-ticks, see-through around them.
        QCOMPARE(game->surface()->cursor().hotSpot(), QPoint(16, 16));
        for (int at = 2; at < 30; ++at)
            QVERIFY(drawn(sight, 16, at) && drawn(sight, at, 16));
        for (int d : {-11, -6, 6, 11})
            QVERIFY2(drawn(sight, 14, 16 + d) && drawn(sight, 18, 16 + d) && drawn(sight, 16 + d, 14) && drawn(sight, 16 + d, 18), qPrintable(QString::number(d)));
        QVERIFY(!drawn(sight, 0, 0) && !drawn(sight, 8, 8) && !drawn(sight, 24, 24) && !drawn(sight, 20, 12));
        // A small square inside a square, clear between and within.
        for (auto [x, y] : {std::pair(8, 16), std::pair(24, 16), std::pair(16, 8), std::pair(16, 24), std::pair(13, 16), std::pair(19, 16)})
            QVERIFY(drawn(icon, x, y));
        QVERIFY(!drawn(icon, 10, 16) && !drawn(icon, 16, 16) && !drawn(icon, 0, 0));
        // paricmd's sight: see-through green inside its ring.
        QCOMPARE(game->control("paricmd")->cursor().hotSpot(), QPoint(10, 10));
        QVERIFY2(qAlpha(target.pixel(14, 7)) > 60 && qAlpha(target.pixel(14, 7)) < 120 && qGreen(target.pixel(14, 7)) > 200, qPrintable(QString::number(target.pixel(14, 7), 16)));
        for (auto [x, y, red] : {std::tuple(9, 5, 255), {5, 9, 255}, {25, 25, 0}})  // a red cross, a black handle
            QVERIFY(target.pixel(x, y) == qRgba(red, 0, 0, 255));
        QCOMPARE(cursorImage(game->control("lblMessage")), icon);
        // cmdNext's arrow points right; pressed, it moves one pixel down and right.
        const QImage arrow = assets::nextPicture().toImage(), pressed = assets::nextPressedPicture().toImage();
        for (auto [x, y, in] : {std::tuple(8, 16, true), {28, 16, true}, {20, 5, true}, {20, 27, true}, {8, 5, false}, {14, 26, false}, {29, 5, false}})
            QVERIFY2(drawn(arrow, x, y) == in, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        for (int y = 0; y < 31; ++y)
            for (int x = 0; x < 31; ++x)
                QVERIFY(drawn(pressed, x + 1, y + 1) == drawn(arrow, x, y));
        // The emblem and the exit picture are round: the left half mirrors the right above the
        // middle. So is the icon at each size the title bar, Alt+Tab and the dock show, whole.
        const QImage exit = game->button("cmdExit")->picture().toImage(), emblem = game->windowIcon().pixmap(32).toImage();
        for (const QImage &i : {exit, emblem, game->windowIcon().pixmap(16).toImage(), game->windowIcon().pixmap(48).toImage(),
                                game->windowIcon().pixmap(256).toImage()}) {
            const int s = i.width();
            int worst = 0;  // antialiasing may round the halves apart a little
            for (int y = 0; y < s * 9 / 32; ++y)
                for (int x = 0; x < s / 2; ++x)
                    for (int shift : {0, 8, 16, 24})
                        worst = qMax(worst, qAbs(int(i.pixel(x, y) >> shift & 0xff) - int(i.pixel(s - 1 - x, y) >> shift & 0xff)));
            QVERIFY2(worst < 40 && (i.cacheKey() == exit.cacheKey() || QColor(i.pixel(s / 2, s - 2)) != Qt::black), qPrintable(QStringLiteral("%1 px: %2").arg(s).arg(worst)));
        }
        auto colour = [&](int x, int y) { return QColor(emblem.pixel(x, y)).name(); };  // the ring's in the middle, the face's, the ones' strokes
        QCOMPARE(colour(16, 16) + colour(5, 16) + colour(13, 19) + colour(18, 19) + colour(11, 13), QStringLiteral("#c000c0#00ffff#00ffff#00ffff#00ffff"));
        // A button's picture sits in its middle: the white of the exit picture.
        const QImage shown = game->control("cmdExit")->grab().toImage();
        int left = shown.width(), right = -1;
        for (int y = 0; y < 34; ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) == qRgb(0xFF, 0xFF, 0xFF))
                    left = qMin(left, x), right = qMax(right, x);
        QVERIFY2(qAbs(left + right + 1 - shown.width()) <= 2, qPrintable(QStringLiteral("%1 %2 %3").arg(left).arg(right).arg(shown.width())));

        // The Windows families come out in their metric-compatible stand-ins.
        for (auto [name, family] : {std::pair("Label6", "Liberation Sans"), {"txtAnswer", "Liberation Sans"}, {"lblScore", "Liberation Serif"}, {"lblconto", "DejaVu Sans"}})
            QCOMPARE(QFontInfo(game->control(name)->font()).family(), QString::fromLatin1(family));

        QTimer *clock = game->timer("Timer1"), *move = game->timer("Timer2");
        // A precise clock: it counts ticks.
        QVERIFY(clock->isActive() && !move->isActive() && clock->timerType() == Qt::PreciseTimer);
        QCOMPARE(QList<int>({clock->interval(), move->interval()}), QList<int>({1000, 1300}));

        QStringList built;
        for (QAction *a : game->menuBar()->actions()) {
            built << a->objectName() + u'|' + QString(a->text()).replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
            for (QAction *sub : a->menu() ? a->menu()->actions() : QList<QAction *>{})
                built << QStringLiteral("  ") + sub->objectName() + u'|' + sub->text();
        }
        // clang-format would join this list's lines into one.
        // clang-format off
        QCOMPARE(built, QStringList({"INFOMAZIONI|vortana.example", "  sede|Lecco (LC)", "copy|Amici dell'11",
            "  via|- Via dei Numeri 11, 23900 Lecco, vortana@vortana.example", "Next|Nuovo gioco", "hf|Help",
            "  Ciao|Ciao campione, mi raccomando colpisci solo i multipli del numero 11", "  ok|Ogni errore  ti farà perdere 4 punti.",
            "  d|Un numero è divisibile per 11 se la differenza (in valore assoluto)  tra la somma delle cifre di "
            "posto dispari e quella di posto pari è 0 oppure un multiplo di 11 ", "  h|Es 165 è divisibile per 11 ed infatti (1+5) -6=0"}));
        // clang-format on
    }

    // The numbers and the captions of the coloured buttons read on their
    // fixed back colour in a light and in a dark palette: WCAG contrast of
    // the drawn pixels, the strongest caption pixel against the back.
    void readable_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<double>("least");
        QTest::addColumn<QString>("palette");
        // "system": the platform theme's own, which readable_gtk_dark makes GTK's dark Adwaita.
        for (const char *palette : {"light", "dark", "system"}) {
            QTest::addRow("%s, number", palette) << "paricmd" << 4.5 << palette;
            QTest::addRow("%s, Exit", palette) << "cmdExit" << 4.5 << palette;
            QTest::addRow("%s, disabled Clicca per iniziare", palette) << "cmdNext" << 3.0 << palette;
        }
    }

    void readable()
    {
        QFETCH(QString, button);
        QFETCH(double, least);
        QFETCH(QString, palette);
        const QPalette light = QApplication::palette();
        const auto restore = qScopeGuard([&] { QApplication::setPalette(light); });
        if (palette == QLatin1String("system")) {
            MACHINE_CHECK();
            QVERIFY2(light.color(QPalette::Window).lightnessF() < 0.3, qPrintable(light.color(QPalette::Window).name()));
        } else if (palette == QLatin1String("dark")) {  // Qt makes the texts near-white on these
            QApplication::setPalette(QPalette(QColor(0x35, 0x35, 0x35), QColor(0x2a, 0x2a, 0x2a)));
        }
        FakePlatform p;
        auto t = startGame(p);
        FlatButton *b = t->button(button.toStdString());
        b->show();
        const QImage shown = b->grab().toImage();
        // The caption lies under the picture, if any, clear of the bevel.
        const int top = b->picture().isNull() ? 2 : 36;
        const QRgb back = shown.pixel(3, shown.height() - 4);
        double best = 1;
        for (int y = top; y < shown.height() - 2; ++y)
            for (int x = 2; x < shown.width() - 2; ++x)
                best = qMax(best, contrastOf(shown.pixel(x, y), back));
        QVERIFY2(best >= least, qPrintable(QString::number(best)));
        if (!b->isEnabled())  // still dimmed: black would read 8.5:1 on its green
            QVERIFY2(best < 6, qPrintable(QString::number(best)));
    }

    // No key presses a button the player can't see: the window holds the
    // focus after the greeting and after a hit with the mouse; Tab brings
    // it to a button, which then shows the mark. Each menu entry has its
    // access key, Alt+C (the disabled cmdNext's) does nothing.
    void keyboard()
    {
        FakePlatform p;
        auto t = startGame(p);
        t->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(t.get()));
        const int painted = t->gradientsPainted();
        for (auto [key, mods] : {std::pair(Qt::Key_Space, Qt::NoModifier), {Qt::Key_C, Qt::AltModifier}})
            QTest::keyClick(QApplication::focusWidget(), key, mods);
        QTest::qWait(400);
        QVERIFY2(p.boxes.size() == 1 && p.quits.isEmpty() && t->gradientsPainted() == painted && !t->timer("Timer2")->isActive(),
                 qPrintable(p.boxes.last().text));

        t->run(&Tavola::Form_Click);
        FlatButton *hit = t->target(Target::paricmd), *exit = t->button("cmdExit");
        hit->show();
        QTest::mouseClick(hit, Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral(" 1"));
        QVERIFY(p.boxes.size() == 1 && p.quits.isEmpty());

        for (int i = 0; i < kTargets; ++i)
            t->target(Target(i))->hide();
        const QImage plain = exit->grab().toImage();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), exit);
        // The mark: pixels that stand out from the magenta (3:1) where none did.
        const QImage marked = exit->grab().toImage();
        int mark = 0;
        for (int y = 3; y < 8; ++y)
            for (int x = 3; x < plain.width() - 3; ++x)
                mark += contrastOf(marked.pixel(x, y), 0xffc000c0) >= 3 && contrastOf(plain.pixel(x, y), 0xffc000c0) < 3;
        QVERIFY2(mark >= 50, qPrintable(QString::number(mark)));

        QSet<QKeySequence> keys{QKeySequence(Qt::ALT | Qt::Key_C), QKeySequence(Qt::ALT | Qt::Key_X)};  // the buttons'
        for (QAction *a : t->menuBar()->actions())
            keys << QKeySequence::mnemonic(a->text());
        QCOMPARE(keys.size(), 6);  // one more for each entry, all different
        QTest::keyClick(t.get(), Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(p.boxes.last().text, QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"));
        QTest::keyClick(t.get(), Qt::Key_H, Qt::AltModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), t->menuItem("hf")->menu());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        // Alt+X, cmdExit's, ends every end-to-end game.
    }

    // At a device pixel ratio of 2 (CTest's test_layout_hidpi) each picture
    // is drawn for it: detail finer than the 2 x 2 blocks of a 32-pixel
    // picture stretched.
    void sharpPictures()
    {
        if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
            QSKIP("runs in test_layout_hidpi, at a device pixel ratio of 2");
        QCOMPARE(game->devicePixelRatioF(), 2.0);
        for (const char *picture : {"cmdExit", "cmdNext", "window icon", "surface", "paricmd", "lblMessage"}) {
            QWidget *w = picture == std::string_view("surface") ? game->surface() : game->control(picture);
            auto *b = qobject_cast<FlatButton *>(w);  // its picture as shown, 32 x 32 in the middle at the top
            const QImage image = !w           ? game->windowIcon().pixmap(QSize(32, 32), 2.0).toImage()
                : b && !b->picture().isNull() ? b->grab().toImage().copy((b->width() - 32) / 2 * 2, 4, 64, 64)
                                              : w->cursor().pixmap().toImage();
            QVERIFY2(image.size() == QSize(64, 64), picture);
            int fine = 0;
            for (int y = 0; y < 64; y += 2)
                for (int x = 0; x < 64; x += 2) {
                    const QRgb c = image.pixel(x, y);
                    fine += image.pixel(x + 1, y) != c || image.pixel(x, y + 1) != c || image.pixel(x + 1, y + 1) != c;
                }
            QVERIFY2(fine >= 16, qPrintable(QStringLiteral("%1: %2").arg(picture).arg(fine)));
        }
    }

    void clickReachesWindow_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("starts");
        QTest::newRow("disabled cmdNext") << "cmdNext" << true;
        QTest::newRow("pressed, dragged off the window, released") << "dragged off" << false;
        // Labels have no handler: a click on one, opaque or not, does nothing.
        for (const char *label : {"Label6", "Label11", "lblconto", "Punteggio", "Label14", "lblnome1", "Label12"})
            QTest::newRow(label) << label << false;
        QTest::newRow("paricmd over a label") << "paricmd over Label11" << false;
    }

    void clickReachesWindow()
    {
        QFETCH(QString, control);
        QFETCH(bool, starts);
        FakePlatform p;
        auto t = startGame(p);
        if (control == QLatin1String("dragged off")) {
            const QPoint at = t->surface()->mapTo(t.get(), QPoint(450, 300)), off(t->width() + 40, at.y());
            QTest::mousePress(t->windowHandle(), Qt::LeftButton, {}, at);
            QTest::mouseMove(t->windowHandle(), off);
            QTest::mouseRelease(t->windowHandle(), Qt::LeftButton, {}, off);
            QTest::qWait(300);
            QVERIFY(!t->timer("Timer2")->isActive() && p.sounds.isEmpty());
            return;
        }
        if (control == QLatin1String("paricmd over Label11")) {
            // A target that jumps onto a label lies above it, and the click is a hit.
            const QWidget *l = t->control("Label11");
            t->target(Target::paricmd)->move(l->pos());
            control = QStringLiteral("paricmd");
        }
        QWidget *w = t->control(control.toStdString());
        w->show();
        const QPoint at = w->rect().center();  // the control must be on top there
        QCOMPARE(t->surface()->childAt(w->mapTo(t->surface(), at)), w);
        QTest::mouseClick(t->windowHandle(), Qt::LeftButton, {}, w->mapTo(t.get(), at));  // as the window system delivers it
        QTRY_COMPARE_WITH_TIMEOUT(t->timer("Timer2")->isActive(), starts, 2000);
        QCOMPARE(p.sounds.contains(p.program + QStringLiteral("/suoni/laser.wav")), starts);
        if (control == QLatin1String("paricmd"))
            QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral(" 1"));
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
