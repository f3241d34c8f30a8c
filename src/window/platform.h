// The one seam between the game and the desktop: modal dialogs, the end
// of the program, sound and the folders the game uses. Tests put a fake
// behind it to answer dialogs and to watch the program end.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QWidget;
class QApplication;
class QRect;

namespace vortana {

class WaveBackend;

// Message box styles as the game names them: buttons + icon + default.
enum MsgStyle : int {
    OkOnly = 0,
    YesNo = 4,
    Question = 32,
    SecondDefault = 256,
};
enum MsgAnswer : int {
    AnswerOk = 1,
    AnswerYes = 6,
    AnswerNo = 7
};

inline constexpr char kTitle[] = "Vortana";

class Platform {
public:
    virtual ~Platform() = default;

    // The text typed, or "" when the prompt is cancelled.
    virtual QString inputBox(QWidget *parent, const QString &prompt, const QString &title) = 0;
    virtual int msgBox(QWidget *parent, const QString &text, int style, const QString &title) = 0;
    // The report of a run-time error; the caller ends the program after it.
    virtual void errorBox(QWidget *parent, const QString &text) = 0;
    // Leaves the event loop with this status; returns to the caller.
    virtual void quit(int status) = 0;

    virtual void playWave(const QString &path) = 0;
    // Gets sound ready before the first play. Called once the game window
    // is up, and again at every new game: only the first call does work.
    virtual void warmUp() {}
    virtual QString programDir() const = 0;  // the folder holding suoni/
    virtual QString dataDir() const = 0;     // where the record lives
};

class QtPlatform : public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    QString inputBox(QWidget *parent, const QString &prompt, const QString &title) override;
    int msgBox(QWidget *parent, const QString &text, int style, const QString &title) override;
    void errorBox(QWidget *parent, const QString &text) override;
    void quit(int status) override;
    void playWave(const QString &path) override;
    void warmUp() override;
    QString programDir() const override;
    QString dataDir() const override;

    int exitStatus() const { return exitStatus_; }

private:
    // Loads the sound module and preloads the sounds on the first call;
    // null if there is no module: the game then plays silently.
    WaveBackend *wave();

    QString programDir_;
    int exitStatus_ = 0;
    bool waveTried_ = false;
    std::unique_ptr<WaveBackend> wave_;
};

// Puts a top-level window's frame in the middle of `area`. Before the
// window is up the frame is unknown, and the window alone is centred.
void centreFrame(QWidget &window, const QRect &area);

// Application-wide set-up shared by the game and its tests: names that
// decide the data folder, Italian for Qt's own dialog buttons, and the
// fonts that stand in for the Windows families.
void setUpApplication(QApplication &app);

// Runs `handler` when the desktop session ends: the session manager asks
// for the game's data before a logout, or SIGTERM or SIGHUP arrives (a
// logout without a session manager, a shutdown).
void onSessionEnd(QApplication &app, const std::function<void()> &handler);

}  // namespace vortana
