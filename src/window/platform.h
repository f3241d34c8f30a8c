// The one seam between the game and the desktop: modal dialogs, the end
// of the program, sound and the folders the game uses. QtPlatform is the
// real one; tests put a fake behind it to answer dialogs and to watch the
// program end.
#pragma once

#include <QString>

class QWidget;

namespace vortana {

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

}  // namespace vortana
