// The game window. The object and its variables live for the whole run;
// its controls, menus and timers are built from the layout at every load
// and thrown away at every unload.
#pragma once

#include "play/rules.h"
#include "records/channels.h"
#include "records/error.h"
#include "window/controls.h"
#include "window/layout.h"
#include "window/variables.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class QMenu;

namespace vortana {

class Platform;
class Rng;

// A name from the layout tables as Qt takes it.
inline QString qs(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Unwinds whatever game code is running once the program has ended.
struct ProgramEnded {};

class Tavola : public QMainWindow {
    Q_OBJECT
public:
    explicit Tavola(Platform &platform, Rng &rng, QWidget *parent = nullptr);
    ~Tavola() override;

    // Program start: creation (which loads the window), then display.
    // Activation follows from the event loop, once the window is shown.
    void start();

    // Runs a handler as the event loop would: an error is reported and
    // ends the program; nothing runs once the program has ended.
    void run(void (Tavola::*handler)());

    // ---- start-up events
    void Form_Initialize();
    void Form_Load();
    void Form_Activate();
    void Form_Resize();

    // ---- play
    void Form_Click();
    void cmdNext_Click();
    void PaintGradient(std::int16_t red, std::int16_t green);
    void Timer2_Timer();
    void paricmd_Click();
    void paricmd1_Click();
    void paricmd2_Click();
    void disparicmd_Click();
    void disparicmd1_Click();
    void disparicmd2_Click();
    void StartClock();
    void Timer1_Timer();

    // ---- records and end of game
    QString GetSystemDir();
    QString Leggifiletxt(const QString &path);
    void cmdExit_Click();
    void Next_Click();
    // The desktop session ends: a better score is saved with no box, and
    // the program ends at once.
    void endSession();

    // ---- sound
    void PlayWave(QString &path);

    // ---- state, for the game's own Parts and for tests
    Variables &vars() { return vars_; }
    const Variables &vars() const { return vars_; }
    bool isLoaded() const { return surface_ != nullptr; }
    bool hasEnded() const { return ended_; }
    Surface *surface() const { return surface_; }
    QWidget *control(std::string_view name) const;
    FlatButton *button(std::string_view name) const;
    Label *label(std::string_view name) const;
    FlatButton *target(Target t) const { return button(kTargetNames[std::size_t(t)]); }
    QTimer *timer(std::string_view name) const;
    QAction *menuItem(std::string_view name) const;
    // Places a target in the window's coordinates (x pixels, y 1/512).
    void moveTarget(Target t, int left, int top);
    QPoint targetPosition(Target t) const;
    const FileChannels &channels() const { return channels_; }
    int gradientsPainted() const { return gradientsPainted_; }

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void changeEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void ensureLoaded();
    // Shows the window with its whole frame in the middle of the screen.
    void showCentred();
    void centre();
    void centreOnceFramed();
    void load();
    void unload();
    void buildControls();
    void buildMenu();
    void buildTimers();
    void connectControls();
    void onNumberClick(Target t);
    void hitOrMiss(const ClickRule &rule);
    void openAndClose(const QString &path);
    // Stops every timer and all game code, for good.
    void halt();
    // The exit routine's save: true if the score beat the record and was written.
    bool saveBetterScore();
    // Ends the program: no game code runs after this; never returns.
    [[noreturn]] void endProgram(int status);
    // After a modal box: if the program ended behind it, stop here.
    void checkAlive() const;
    int msgBox(const QString &text, int style, const QString &title = {});
    QString programDir() const;

    Platform &platform_;
    Rng &rng_;
    Variables vars_;
    FileChannels channels_;

    QPointer<Surface> surface_;
    QHash<QString, QWidget *> controls_;
    QHash<QString, QTimer *> timers_;
    QHash<QString, QAction *> menuItems_;
    QList<QPointer<QObject>> built_;  // what the next unload throws away

    std::array<QPoint, kTargets> logicalPos_{};
    int scaleHeight_ = 0;
    int gradientsPainted_ = 0;
    bool loading_ = false;
    bool activatePending_ = false;
    bool centrePending_ = false;
    bool ended_ = false;
};

}  // namespace vortana
