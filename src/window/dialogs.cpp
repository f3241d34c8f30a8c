// The name prompt and the message boxes, modal and placed.
#include "records/recordfiles.h"
#include "window/centring.h"
#include "window/qtplatform.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QWindow>

namespace vortana {

namespace {

// Qt leaves a dialog's place to the window manager unless it is told one,
// and mutter then puts the prompt and the boxes at the top-left corner.
// So every dialog is placed: over the game's window once that shows, in
// the middle of its screen before. Again once the window manager has
// framed it, so that the frame as a whole is centred. Wayland leaves
// placement to the compositor.
template <class Dialog>
class PlacedDialog : public Dialog {
public:
    using Dialog::Dialog;

protected:
    void showEvent(QShowEvent *e) override
    {
        Dialog::showEvent(e);  // sizes a message box to its text
        framed_ = onWayland();
        place();
    }

    bool event(QEvent *e) override
    {
        if (!framed_ && (e->type() == QEvent::Move || e->type() == QEvent::WindowActivate)) {
            const QWindow *w = this->windowHandle();
            if (w && w->isExposed() && !w->frameMargins().isNull()) {
                framed_ = true;
                place();
            }
        }
        return Dialog::event(e);
    }

private:
    void place()
    {
        if (onWayland())
            return;
        const QWidget *over = this->parentWidget();
        const QScreen *screen = over ? over->screen() : this->screen();
        if (over && over->isVisible())
            centreFrame(*this, frameOf(*over));
        else if (screen)
            centreFrame(*this, screen->availableGeometry());
    }

    bool framed_ = false;
};

}  // namespace

QString QtPlatform::inputBox(QWidget *parent, const QString &prompt, const QString &title)
{
    PlacedDialog<QInputDialog> dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(QString());
    dialog.setInputMode(QInputDialog::TextInput);
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setMaxLength(kMaxNameLength);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

int QtPlatform::msgBox(QWidget *parent, const QString &text, int style, const QString &title)
{
    PlacedDialog<QMessageBox> box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(style & Question ? QMessageBox::Question : QMessageBox::NoIcon);
    if (style & YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(style & SecondDefault ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? AnswerYes : AnswerNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return AnswerOk;
}

void QtPlatform::errorBox(QWidget *parent, const QString &text)
{
    PlacedDialog<QMessageBox> box(QMessageBox::Critical, QString::fromLatin1(kTitle),
                                  QStringLiteral("Errore di esecuzione:\n") + text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace vortana
