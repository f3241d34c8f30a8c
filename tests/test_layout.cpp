// The window as a started game shows it: every control against the
// layout written out again by hand, the menu, the timers, access keys and
// which clicks reach the window.
#include "support.h"

#include "window/assets.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace vortana;
using namespace vortana::test;

namespace {

enum Look { Flat, Standard, Text, Lbl };
enum Frame { NoBorder, BoxLine, Sunken };
enum Ptr { Arrow, IconPtr, ParicmdPtr };
enum : unsigned { Hid = 1, Dis = 2, Bld = 4, Ita = 8, Opq = 16, Ctr = 32 };

struct Expected {
    const char *name;
    Look look;
    const char *caption;
    int x, y, w, h;  // pixels; w < 0: auto-size, only the corner is fixed
    QRgb back;       // 0: none
    QRgb text;       // 0: system default
    const char *family;  // nullptr: system default
    double points;
    unsigned flags;
    Frame frame;
    Ptr ptr;
    const char *tip;
    int tab;
};

constexpr QRgb kCyan = 0xFF00FFFF;
constexpr QRgb rgb(unsigned v) { return 0xFF000000u | v; }
constexpr const char *kMss = "MS Sans Serif";

const Expected kExpected[] = {
    {"disparicmd2", Flat, "", 336, 456, 81, 81, kCyan, 0, kMss, 24, Hid | Bld, NoBorder, Arrow, "", 31},
    {"disparicmd1", Flat, "63", 456, 344, 81, 81, kCyan, 0, kMss, 24, Hid | Bld, NoBorder, Arrow, "", 30},
    {"paricmd2", Flat, "", 104, 432, 81, 81, kCyan, 0, kMss, 24, Hid | Bld, NoBorder, Arrow, "", 29},
    {"paricmd1", Flat, "", 192, 280, 81, 81, kCyan, 0, kMss, 24, Hid | Bld, NoBorder, Arrow, "", 28},
    {"cmdExit", Flat, "E&xit", 408, 0, 209, 49, rgb(0xC000C0), 0, kMss, 8.25, Bld, NoBorder, Arrow,
     "Ti prego resta ancora, forse riuscirai a farmi uscire ", 23},
    {"cmdNext", Flat, "&Clicca per iniziare", 200, 0, 214, 49, rgb(0x00C000), 0, kMss, 8.25, Dis | Bld, NoBorder,
     IconPtr, "Go", 22},
    {"Inizio", Standard, "Inizio", 256, 8, 81, 33, 0, 0, nullptr, 0, Hid, NoBorder, Arrow, "", 21},
    {"paricmd", Flat, "", 160, 104, 81, 81, kCyan, 0, kMss, 24, Hid | Bld, NoBorder, ParicmdPtr, "", 20},
    {"disparicmd", Flat, "", 384, 104, 81, 81, kCyan, 0, kMss, 24, Hid | Bld, NoBorder, Arrow, "", 19},
    {"txtAnswer", Text, "", 368, 112, 185, 80, kCyan, 0, "Arial", 48, Hid | Dis | Bld, NoBorder, Arrow,
     "Inserisci il risultato e  premi il tasto  Invio", 4},
    {"Label6", Lbl, "Punti complessivi", -8, 0, -1, -1, rgb(0x0000FF), rgb(0xFFFF80), kMss, 18, Opq | Ctr, BoxLine, Arrow,
     "", 27},
    {"lblMessage", Lbl, "", 104, 248, 441, 41, kCyan, rgb(0xFF0000), kMss, 24, Hid | Bld | Ita | Ctr, NoBorder,
     IconPtr, "", 26},
    {"lblScore", Lbl, "", 40, 56, 81, 65, rgb(0xFFFF00), 0, "Times New Roman", 36, Bld | Ctr, Sunken, Arrow,
     "Questo è il tuo punteggio. Forza con il  record", 25},
    {"Punteggio", Lbl, "0", 64, 72, -1, -1, 0, 0, kMss, 24, Ctr, NoBorder, Arrow, "", 24},
    {"lblpunti", Lbl, "0", 560, 520, -1, -1, 0, rgb(0xC000C0), kMss, 24, 0, NoBorder, Arrow, "", 18},
    {"Label13", Lbl, "con punti", 448, 528, -1, -1, 0, rgb(0xC000C0), kMss, 18, 0, NoBorder, Arrow, "", 17},
    {"lblnome", Lbl, "nome", 176, 528, -1, -1, 0, rgb(0x0000FF), kMss, 18, Bld, NoBorder, Arrow, "", 16},
    {"Label12", Lbl, "Il record  è di ", 8, 528, 153, 25, 0, rgb(0xC000C0), kMss, 18, 0, NoBorder, Arrow, "", 15},
    {"lblnome1", Lbl, "", 128, 304, -1, -1, 0, rgb(0x008000), kMss, 18, Bld, NoBorder, Arrow, "", 14},
    {"Label14", Lbl, "Sfidante", 9, 304, -1, -1, 0, rgb(0x008000), kMss, 18, Ctr, Sunken, Arrow, "", 13},
    {"Label5", Lbl, "", 64, 512, 441, 41, kCyan, rgb(0xFF0000), kMss, 24, Hid | Bld | Ita | Ctr, NoBorder, IconPtr,
     "", 12},
    {"lblconto", Lbl, "00.00.00", 8, 160, 105, 33, 0, rgb(0xFFFF00), "Arial Black", 12, Bld, Sunken, Arrow, "", 11},
    {"Label11", Lbl, "Tempo restante", 8, 128, 105, 25, 0, rgb(0xFFFF00), kMss, 9.75, 0, NoBorder, Arrow, "", 10},
    {"Label3", Lbl, "Risposte totali", 376, 256, -1, -1, 0, rgb(0x0000FF), kMss, 18, Hid, Sunken, Arrow, "", 9},
    {"Label1", Lbl, "Risposte errate", 384, 208, -1, -1, 0, rgb(0xFF0000), kMss, 18, Hid, Sunken, Arrow, "", 8},
    {"lblScore2", Lbl, "0", 504, 192, -1, -1, 0, rgb(0x0000FF), "Times New Roman", 36, Hid | Bld | Ctr, Sunken, Arrow,
     "", 7},
    {"lblScore1", Lbl, "0", 464, 240, -1, -1, 0, rgb(0xFF0000), "Times New Roman", 36, Hid | Bld | Ctr, Sunken, Arrow,
     "", 0},
    {"lblTime", Lbl, "", 560, 120, -1, -1, 0, 0, kMss, 12, Hid | Bld | Opq, NoBorder, Arrow,
     "Clicca sotto di me per attivare il Timer", 6},
    {"lblNum2", Lbl, "", 472, 136, -1, -1, kCyan, 0, "Arial", 48, Hid | Dis | Bld | Opq | Ctr, Sunken, Arrow, "", 5},
    {"Label4", Lbl, "=", 488, 136, 41, 65, rgb(0x80FFFF), 0, "Arial", 48, Hid | Dis | Bld | Opq | Ctr, NoBorder, Arrow,
     "", 3},
    {"Label2", Lbl, "X", 488, 120, 41, 65, rgb(0x80FFFF), 0, "Arial", 48, Hid | Dis | Opq | Ctr, NoBorder, Arrow, "", 2},
    {"lblNum1", Lbl, "", 456, 112, -1, -1, kCyan, 0, "Arial", 48, Hid | Dis | Bld | Opq | Ctr, Sunken, Arrow, "", 1},
};

QString captionOf(QWidget *w)
{
    if (auto *l = qobject_cast<Label *>(w))
        return l->caption();
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    return QStringLiteral("<unknown kind>");
}

QImage cursorImage(const QCursor &c) { return c.pixmap().toImage().convertToFormat(QImage::Format_ARGB32); }

}  // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { game.reset(); }

    void control_data();
    void control();
    void everyControlIsChecked();
    void captionsAsLoaded();
    void window();
    void tabOrder();
    void cursorsAndPictures();
    void menu();
    void timers();
    void autoSize();

    void accessKeys();
    void clickReachesWindow_data();
    void clickReachesWindow();

private:
    FakePlatform platform;
    std::unique_ptr<Tavola> game;
    QHash<QString, QString> loadedCaptions;
};

void TestLayout::initTestCase()
{
    setUpApplication(*qApp);
    // The prompt is open before the load sequence has touched a caption.
    Tavola *t = nullptr;
    platform.onPrompt = [&] {
        for (const Expected &e : kExpected)
            if (QWidget *w = t->control(e.name))
                loadedCaptions.insert(e.name, captionOf(w));
    };
    platform.names = {QStringLiteral("Tester")};
    game = std::make_unique<Tavola>(platform, Rng::shared());
    t = game.get();
    game->start();
    QVERIFY(waitActivated(*game));
    platform.onPrompt = nullptr;
}

void TestLayout::control_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kExpected)); ++i)
        QTest::newRow(kExpected[i].name) << i;
}

void TestLayout::control()
{
    QFETCH(int, row);
    const Expected &e = kExpected[row];
    QWidget *w = game->control(e.name);
    QVERIFY(w);
    QCOMPARE(w->objectName(), QString::fromLatin1(e.name));
    QCOMPARE(w->parentWidget(), game->surface());

    switch (e.look) {
    case Flat: QVERIFY(qobject_cast<FlatButton *>(w)); break;
    case Standard: QVERIFY(qobject_cast<QPushButton *>(w)); break;
    case Text: QVERIFY(qobject_cast<QLineEdit *>(w)); break;
    case Lbl: QVERIFY(qobject_cast<Label *>(w)); break;
    }

    if (e.w < 0)
        QCOMPARE(w->pos(), QPoint(e.x, e.y));
    else
        QCOMPARE(w->geometry(), QRect(e.x, e.y, e.w, e.h));

    const QPalette appPal = QApplication::palette();
    if (auto *b = qobject_cast<FlatButton *>(w))
        QCOMPARE(b->backColor(), QColor::fromRgb(e.back));
    if (auto *edit = qobject_cast<QLineEdit *>(w))
        QCOMPARE(edit->palette().color(QPalette::Base), QColor::fromRgb(e.back));
    if (auto *l = qobject_cast<Label *>(w)) {
        const bool opaque = e.flags & Opq;
        QCOMPARE(l->autoFillBackground(), opaque);
        if (opaque)
            QCOMPARE(l->palette().color(QPalette::Window),
                     e.back ? QColor::fromRgb(e.back) : appPal.color(QPalette::Window));
        QCOMPARE(l->palette().color(QPalette::Active, QPalette::WindowText),
                 e.text ? QColor::fromRgb(e.text) : appPal.color(QPalette::WindowText));
        switch (e.frame) {
        case NoBorder: QCOMPARE(l->frameShape(), QFrame::NoFrame); break;
        case BoxLine: QCOMPARE(l->frameStyle(), QFrame::Box | QFrame::Plain); break;
        case Sunken: QCOMPARE(l->frameStyle(), QFrame::Panel | QFrame::Sunken); break;
        }
        if (e.frame != NoBorder)
            QCOMPARE(l->lineWidth(), 1);
        QCOMPARE(l->alignment() & Qt::AlignHorizontal_Mask,
                 (e.flags & Ctr) ? Qt::AlignHCenter : Qt::AlignLeft);
        QCOMPARE(l->autoSize(), e.w < 0);
    }

    const QFont f = w->font();
    if (e.family) {
        QCOMPARE(f.family(), QString::fromLatin1(e.family));
        QCOMPARE(f.pointSizeF(), e.points);
    } else {
        QCOMPARE(f.family(), QApplication::font().family());
        QCOMPARE(f.pointSizeF(), QApplication::font().pointSizeF());
    }
    QCOMPARE(f.bold(), bool(e.flags & Bld));
    QCOMPARE(f.weight(), (e.flags & Bld) ? QFont::Bold : QFont::Normal);
    QCOMPARE(f.italic(), bool(e.flags & Ita));
    QVERIFY(!f.underline());
    QVERIFY(!f.strikeOut());

    QCOMPARE(w->isVisible(), !(e.flags & Hid));
    QCOMPARE(w->isEnabled(), !(e.flags & Dis));
    QCOMPARE(w->toolTip(), QString::fromUtf8(e.tip));
    QCOMPARE(w->property("tabIndex").toInt(), e.tab);
    if (e.ptr == Arrow)
        QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    else
        QCOMPARE(w->cursor().shape(), Qt::BitmapCursor);
}

void TestLayout::everyControlIsChecked()
{
    // The table above has to cover every widget the window builds.
    QStringList built;
    for (QWidget *w : game->surface()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        built << w->objectName();
    QStringList expected;
    for (const Expected &e : kExpected)
        expected << QString::fromLatin1(e.name);
    built.sort();
    expected.sort();
    QCOMPARE(built, expected);
}

void TestLayout::captionsAsLoaded()
{
    QCOMPARE(loadedCaptions.size(), int(std::size(kExpected)));
    for (const Expected &e : kExpected)
        QCOMPARE(loadedCaptions.value(e.name), QString::fromUtf8(e.caption));
}

void TestLayout::window()
{
    QCOMPARE(game->windowTitle(), QStringLiteral("Vortana"));
    QCOMPARE(game->surface()->size(), QSize(608, 672));
    QCOMPARE(game->centralWidget(), game->surface());
    QVERIFY(game->menuBar()->isVisible());
    // The client area lies below the menu bar.
    QCOMPARE(game->surface()->mapTo(game.get(), QPoint()).y(), game->menuBar()->height());

    const QIcon icon = game->windowIcon();
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));

    // The frame's border is only known once shown: allow its width.
    const QPoint off = game->frameGeometry().center() - game->screen()->availableGeometry().center();
    QVERIFY2(qAbs(off.x()) <= 4 && qAbs(off.y()) <= 4, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
}

void TestLayout::tabOrder()
{
    const QStringList expected{"txtAnswer", "disparicmd", "paricmd", "Inizio", "cmdNext",
                               "cmdExit", "paricmd1", "paricmd2", "disparicmd1", "disparicmd2"};
    for (const Expected &e : kExpected)
        QCOMPARE(game->control(e.name)->focusPolicy() != Qt::NoFocus, expected.contains(e.name));

    QWidget *first = game->control("txtAnswer");
    QStringList chain{first->objectName()};
    for (QWidget *w = first->nextInFocusChain(); w != first && chain.size() < 100; w = w->nextInFocusChain())
        if (expected.contains(w->objectName()) && w->parentWidget() == game->surface())
            chain << w->objectName();
    QCOMPARE(chain, expected);
}

void TestLayout::cursorsAndPictures()
{
    const QCursor sight = game->surface()->cursor();
    QCOMPARE(sight.shape(), Qt::BitmapCursor);
    QCOMPARE(sight.hotSpot(), QPoint(16, 16));
    const QImage sightImg = cursorImage(sight);
    QCOMPARE(sightImg.size(), QSize(32, 32));
    // Lines cross in the middle; the corners stay see-through.
    QVERIFY(qAlpha(sightImg.pixel(16, 16)) > 0);
    QVERIFY(qAlpha(sightImg.pixel(16, 4)) > 0 && qAlpha(sightImg.pixel(4, 16)) > 0);
    QCOMPARE(qAlpha(sightImg.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(sightImg.pixel(31, 31)), 0);

    const QCursor paricmd = game->control("paricmd")->cursor();
    QCOMPARE(paricmd.hotSpot(), QPoint(10, 10));
    QCOMPARE(cursorImage(paricmd).size(), QSize(32, 32));

    const QImage icon = cursorImage(game->control("cmdNext")->cursor());
    QVERIFY(!icon.isNull());
    QCOMPARE(cursorImage(game->control("lblMessage")->cursor()), icon);
    QCOMPARE(cursorImage(game->control("Label5")->cursor()), icon);
    QVERIFY(icon != sightImg);
    QVERIFY(icon != cursorImage(paricmd));

    QVERIFY(!game->button("cmdExit")->picture().isNull());
    QVERIFY(!game->button("cmdNext")->picture().isNull());
    const QList<QSize> exitSizes = assets::exitPicture().availableSizes();
    QVERIFY(exitSizes.contains(QSize(32, 32)) && exitSizes.contains(QSize(16, 16)));
    // Three different pictures for cmdNext.
    const QImage n = assets::nextPicture().toImage(), d = assets::nextDisabledPicture().toImage(),
                 p = assets::nextPressedPicture().toImage();
    QVERIFY(n != d && n != p && d != p);
}

void TestLayout::menu()
{
    // nullptr name or caption: the makers' own choice, only non-empty.
    struct Item {
        int level;
        const char *name;
        const char *caption;
    };
    const Item items[] = {
        {1, "INFOMAZIONI", nullptr},
        {2, nullptr, nullptr},
        {1, "copy", nullptr},
        {2, "via", nullptr},
        {1, "Next", "Nuovo gioco"},
        {1, "hf", "Help"},
        {2, "Ciao", "Ciao campione, mi raccomando colpisci solo i multipli del numero 11"},
        {2, "ok", "Ogni errore  ti farà perdere 4 punti."},
        {2, "d", "Un numero è divisibile per 11 se la differenza (in valore assoluto)  tra la somma delle cifre di "
                 "posto dispari e quella di posto pari è 0 oppure un multiplo di 11 "},
        {2, "h", "Es 165 è divisibile per 11 ed infatti (1+5) -6=0"},
    };
    QList<std::pair<int, QAction *>> built;
    for (QAction *a : game->menuBar()->actions()) {
        built.append({1, a});
        if (a->menu())
            for (QAction *sub : a->menu()->actions())
                built.append({2, sub});
    }
    QCOMPARE(built.size(), qsizetype(std::size(items)));
    for (std::size_t i = 0; i < std::size(items); ++i) {
        const auto &[level, action] = built[qsizetype(i)];
        QCOMPARE(level, items[i].level);
        if (items[i].name)
            QCOMPARE(action->objectName(), QString::fromLatin1(items[i].name));
        if (items[i].caption)
            QCOMPARE(action->text(), QString::fromUtf8(items[i].caption));
        else
            QVERIFY(!action->text().trimmed().isEmpty());
    }
    QVERIFY(game->menuItem("via")->text().startsWith(QLatin1String("- ")));
    QVERIFY(!game->menuItem("Next")->menu());
}

void TestLayout::timers()
{
    QTimer *t1 = game->timer("Timer1");
    QTimer *t2 = game->timer("Timer2");
    QVERIFY(t1 && t2);
    QVERIFY(t1->isActive());
    QCOMPARE(t1->interval(), 1000);
    QCOMPARE(t1->timerType(), Qt::PreciseTimer);
    QVERIFY(!t2->isActive());
    QCOMPARE(t2->interval(), 1300);
}

void TestLayout::autoSize()
{
    FakePlatform p;
    auto t = startGame(p);
    Label *nome = t->label("lblnome");
    const QPoint corner = nome->pos();
    nome->setCaption(QStringLiteral("Al"));
    const QSize shortSize = nome->size();
    nome->setCaption(QStringLiteral("Alessandro Bartolomeo Castiglioni"));
    QCOMPARE(nome->pos(), corner);
    QVERIFY(nome->width() > 3 * shortSize.width());
    QCOMPARE(nome->height(), shortSize.height());

    // A record read back ends with CR LF: two lines, the second empty.
    nome->setCaption(QStringLiteral("Al\r\n"));
    QCOMPARE(nome->caption(), QStringLiteral("Al\r\n"));
    QCOMPARE(nome->pos(), corner);
    QVERIFY2(nome->height() >= 2 * shortSize.height() - 4,
             qPrintable(QStringLiteral("%1 vs %2").arg(nome->height()).arg(shortSize.height())));
    QVERIFY(nome->width() < 2 * shortSize.width());

    // Centred auto-size labels grow from the corner too.
    Label *score = t->label("Punteggio");
    const QPoint scoreCorner = score->pos();
    score->setCaption(QStringLiteral(" -32768"));
    QCOMPARE(score->pos(), scoreCorner);

    // A fixed-size label keeps its box whatever the caption.
    Label *fixed = t->label("Label12");
    const QRect box = fixed->geometry();
    fixed->setCaption(QStringLiteral("Il record  è di qualcuno con un nome molto lungo\r\n"));
    QCOMPARE(fixed->geometry(), box);
}

void TestLayout::accessKeys()
{
    FakePlatform p;
    auto t = startGame(p);
    t->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(t.get()));
    const int painted = t->gradientsPainted();
    const qsizetype greeting = p.boxes.size();

    // Alt+C belongs to the disabled cmdNext: nothing at all happens.
    QTest::keyClick(t.get(), Qt::Key_C, Qt::AltModifier);
    QTest::qWait(400);
    QCOMPARE(p.boxes.size(), greeting);
    QCOMPARE(t->gradientsPainted(), painted);
    QVERIFY(!t->timer("Timer2")->isActive());
    QVERIFY(p.quits.isEmpty());

    QTest::keyClick(t.get(), Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE_WITH_TIMEOUT(p.boxes.size(), greeting + 1, 5000);
    QCOMPARE(p.boxes.last().text, QStringLiteral("                      Ciao a presto!"));
    QCOMPARE(p.quits, QList<int>{0});
    QVERIFY(t->hasEnded());
}

void TestLayout::clickReachesWindow_data()
{
    // Where to click, in the control's own pixels; it must be on top there.
    QTest::addColumn<QString>("control");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("starts");
    QTest::newRow("bare surface") << "surface" << QPoint(300, 640) << true;
    QTest::newRow("disabled cmdNext") << "cmdNext" << QPoint(100, 40) << true;
    QTest::newRow("transparent Label14, bordered") << "Label14" << QPoint(10, 10) << true;
    QTest::newRow("transparent lblconto") << "lblconto" << QPoint(50, 15) << true;
    QTest::newRow("transparent Punteggio, auto-size") << "Punteggio" << QPoint(5, 5) << true;
    QTest::newRow("transparent Label12") << "Label12" << QPoint(20, 10) << true;
    QTest::newRow("transparent lblScore") << "lblScore" << QPoint(5, 60) << true;
    QTest::newRow("opaque Label6") << "Label6" << QPoint(40, 10) << false;
    QTest::newRow("visible paricmd") << "paricmd" << QPoint(40, 40) << false;
}

void TestLayout::clickReachesWindow()
{
    QFETCH(QString, control);
    QFETCH(QPoint, at);
    QFETCH(bool, starts);
    FakePlatform p;
    auto t = startGame(p);
    QVERIFY(!t->timer("Timer2")->isActive());

    QWidget *surface = t->surface();
    QWidget *w = control == QLatin1String("surface") ? surface : t->control(control.toStdString());
    QVERIFY(w);
    w->show();
    QVERIFY(w->rect().contains(at));
    QCOMPARE(surface->childAt(w->mapTo(surface, at)), w == surface ? nullptr : w);
    QTest::mouseClick(w, Qt::LeftButton, {}, at);

    const QString laser = p.program + QStringLiteral("/suoni/laser.wav");
    QTRY_COMPARE_WITH_TIMEOUT(t->timer("Timer2")->isActive(), starts, 2000);
    QCOMPARE(p.sounds.contains(laser), starts);
    if (starts)
        QCOMPARE(t->timer("Timer2")->interval(), 1300);
    QCOMPARE(t->button("cmdNext")->toolTip(), QStringLiteral("Go"));
    QVERIFY(p.errors.isEmpty());
}

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
