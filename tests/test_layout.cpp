// The window as a started game shows it: controls against their layout
// rows, the menu, timers, cursors, access keys and which clicks reach
// the window.
#include "support.h"

#include <QMenu>
#include <QMenuBar>
#include <QTest>

using namespace vortana;
using namespace vortana::test;

static QString qs(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

static QImage cursorImage(QWidget *w) { return w->cursor().pixmap().toImage().convertToFormat(QImage::Format_ARGB32); }

class TestLayout : public QObject {
    Q_OBJECT
    FakePlatform platform;
    std::unique_ptr<Tavola> game;

private slots:
    void initTestCase() { setUpApplication(*qApp); game = startGame(platform); }

    void controls()
    {
        for (const ControlSpec &s : kControls) {
            QWidget *w = game->control(s.name);
            QVERIFY2(w && w->parentWidget() == game->surface(), s.name.data());
            QCOMPARE(w->isVisible(), !(s.flags & Hidden));
            QCOMPARE(w->isEnabled(), !(s.flags & Disabled));
            QCOMPARE(w->toolTip(), qs(s.tooltip));
            QCOMPARE(w->pos(), QPoint(twipsToPixels(s.left), twipsToPixels(s.top)));
            QCOMPARE(w->cursor().shape(), s.pointer == Pointer::Default ? Qt::ArrowCursor : Qt::BitmapCursor);
            if (auto *l = qobject_cast<Label *>(w)) {
                QCOMPARE(l->autoSize(), bool(s.flags & AutoSize));
                QCOMPARE(l->autoFillBackground(), bool(s.flags & Opaque));
                QCOMPARE(l->alignment() & Qt::AlignHorizontal_Mask, (s.flags & Centred) ? Qt::AlignHCenter : Qt::AlignLeft);
                const int frames[] = {QFrame::NoFrame | QFrame::Plain, QFrame::Box | QFrame::Plain, QFrame::Panel | QFrame::Sunken};
                QCOMPARE(l->frameStyle(), frames[int(s.border)]);
            }
        }

        const QStringList tabs{"txtAnswer", "disparicmd", "paricmd", "Inizio", "cmdNext",
                               "cmdExit", "paricmd1", "paricmd2", "disparicmd1", "disparicmd2"};
        QWidget *first = game->control("txtAnswer");
        QStringList chain{first->objectName()};
        for (QWidget *w = first->nextInFocusChain(); w != first && chain.size() < 100; w = w->nextInFocusChain())
            if (w->parentWidget() == game->surface() && w->focusPolicy() != Qt::NoFocus)
                chain << w->objectName();
        QCOMPARE(chain, tabs);
    }

    void autoSize()
    {
        Label *nome = game->label("lblnome"), *fixed = game->label("Label12");
        const QRect box = fixed->geometry();
        nome->setCaption(QStringLiteral("Al"));
        const int one = nome->height();
        // A record read back ends with CR LF: two lines, the second empty.
        nome->setCaption(QStringLiteral("Al\r\n"));
        QVERIFY2(nome->height() >= 2 * one - 4, qPrintable(QString::number(nome->height())));
        fixed->setCaption(QStringLiteral("Il record  è di qualcuno con un nome molto lungo\r\n"));
        QCOMPARE(fixed->geometry(), box);
    }

    // An auto-size label keeps its laid-out box until the game changes its
    // caption: "0" written again into Punteggio and an empty name are no change.
    void laidOutUntilChanged_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QRect>("box");  // pixels, client coordinates
        QTest::newRow("Punti complessivi") << "Label6" << QRect(-8, 0, 209, 49);
        QTest::newRow("Sfidante") << "Label14" << QRect(9, 304, 93, 33);
        QTest::newRow("con punti") << "Label13" << QRect(448, 528, 97, 29);
        QTest::newRow("score 0") << "Punteggio" << QRect(64, 72, 33, 41);
        QTest::newRow("no name") << "lblnome1" << QRect(128, 304, 8, 29);
    }

    void laidOutUntilChanged()
    {
        QFETCH(QString, label);
        QFETCH(QRect, box);
        FakePlatform p;
        auto t = startGame(p, QString());
        QTest::qWait(50);
        Label *l = t->label(label.toStdString());
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
        // A gun-sight: lines cross in the middle, the corners stay see-through.
        QCOMPARE(game->surface()->cursor().hotSpot(), QPoint(16, 16));
        QVERIFY(qAlpha(sight.pixel(16, 4)) > 0 && qAlpha(sight.pixel(4, 16)) > 0 && qAlpha(sight.pixel(0, 0)) == 0);
        QCOMPARE(game->control("paricmd")->cursor().hotSpot(), QPoint(10, 10));
        QVERIFY(!icon.isNull() && icon != sight && icon != cursorImage(game->control("paricmd")));
        QCOMPARE(cursorImage(game->control("lblMessage")), icon);
        QVERIFY(!game->windowIcon().isNull());
        QVERIFY(!game->button("cmdExit")->picture().isNull() && !game->button("cmdNext")->picture().isNull());

        QTimer *clock = game->timer("Timer1"), *move = game->timer("Timer2");
        // A precise clock: it counts ticks.
        QVERIFY(clock->isActive() && !move->isActive() && clock->timerType() == Qt::PreciseTimer);
        QCOMPARE(QList<int>({clock->interval(), move->interval()}), QList<int>({1000, 1300}));

        QStringList built, rows;
        for (QAction *a : game->menuBar()->actions()) {
            built << a->objectName() + u'|' + a->text();
            for (QAction *sub : a->menu() ? a->menu()->actions() : QList<QAction *>{})
                built << QStringLiteral("  ") + sub->objectName() + u'|' + sub->text();
        }
        for (const MenuSpec &m : kMenu)
            rows << QString(m.level == 2 ? QStringLiteral("  ") : QString()) + qs(m.name) + u'|' + qs(m.caption);
        QCOMPARE(built, rows);
        QCOMPARE(built.mid(4), QStringList({
            "Next|Nuovo gioco", "hf|Help",
            "  Ciao|Ciao campione, mi raccomando colpisci solo i multipli del numero 11",
            "  ok|Ogni errore  ti farà perdere 4 punti.",
            "  d|Un numero è divisibile per 11 se la differenza (in valore assoluto)  tra la somma delle cifre di "
            "posto dispari e quella di posto pari è 0 oppure un multiplo di 11 ",
            "  h|Es 165 è divisibile per 11 ed infatti (1+5) -6=0"}));
    }

    void accessKeys()
    {
        FakePlatform p;
        auto t = startGame(p);
        t->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(t.get()));
        const int painted = t->gradientsPainted();

        // Alt+C belongs to the disabled cmdNext: nothing at all happens.
        QTest::keyClick(t.get(), Qt::Key_C, Qt::AltModifier);
        QTest::qWait(400);
        QVERIFY(p.boxes.size() == 1 && t->gradientsPainted() == painted && !t->timer("Timer2")->isActive());
        // Alt+X, cmdExit's, ends every end-to-end game.
    }

    void clickReachesWindow_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("starts");
        QTest::newRow("bare surface") << "surface" << true;
        QTest::newRow("disabled cmdNext") << "cmdNext" << true;
        // Labels have no handler: a click on one, opaque or not, does nothing.
        for (const char *label : {"Label6", "Label11", "lblconto", "Punteggio", "Label14", "lblnome1", "Label12"})
            QTest::newRow(label) << label << false;
        QTest::newRow("visible paricmd") << "paricmd" << false;
        QTest::newRow("paricmd over a label") << "paricmd over Label11" << false;
    }

    void clickReachesWindow()
    {
        QFETCH(QString, control);
        QFETCH(bool, starts);
        FakePlatform p;
        auto t = startGame(p);
        if (control == QLatin1String("paricmd over Label11")) {
            // A target that jumps onto a label lies above it, and the click is a hit.
            const QWidget *l = t->control("Label11");
            t->target(Target::paricmd)->move(l->pos());
            control = QStringLiteral("paricmd");
        }
        QWidget *w = control == QLatin1String("surface") ? t->surface() : t->control(control.toStdString());
        w->show();
        const QPoint at = w->rect().center();  // the control must be on top there
        QCOMPARE(t->surface()->childAt(w->mapTo(t->surface(), at)), w == t->surface() ? nullptr : w);
        QTest::mouseClick(t->windowHandle(), Qt::LeftButton, {}, w->mapTo(t.get(), at));  // as the window system delivers it
        QTRY_COMPARE_WITH_TIMEOUT(t->timer("Timer2")->isActive(), starts, 2000);
        QCOMPARE(p.sounds.contains(p.program + QStringLiteral("/suoni/laser.wav")), starts);
        if (control == QLatin1String("paricmd"))
            QCOMPARE(t->label("Punteggio")->caption(), QStringLiteral(" 1"));
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
