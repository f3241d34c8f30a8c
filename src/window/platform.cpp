#include "window/platform.h"

#include "play/rules.h"
#include "records/records.h"
#include "sound/wave.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QInputDialog>
#include <QLibrary>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTranslator>
#include <QWindow>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace vortana {

namespace {

QString soundFolderBase()
{
    // Beside the executable in a build tree, under share/ once installed.
    // The prefix the executable sits in goes before the configured one, so
    // a copy installed elsewhere never plays another installation's sounds.
    QString here = QCoreApplication::applicationDirPath();
    for (const QString &dir : {here, here + QStringLiteral("/../share/vortana"), QStringLiteral(VORTANA_DATADIR)})
        if (QDir(dir + QStringLiteral("/suoni")).exists())
            return QDir::cleanPath(dir);
    return here;
}

// The sound module, looked for in the same order as the sounds. The
// library stays loaded to the end, under the backend it made.
std::unique_ptr<WaveBackend> loadWaveBackend()
{
    const QString here = QCoreApplication::applicationDirPath();
    QString error = QStringLiteral("not found");
    for (const QString &dir : {here, here + QStringLiteral("/" VORTANA_LIBDIR_FROM_BINDIR), QStringLiteral(VORTANA_LIBDIR)}) {
        const QString path = QDir::cleanPath(dir + QStringLiteral("/" VORTANA_SOUND_MODULE));
        if (!QFileInfo(path).isFile())
            continue;
        QLibrary module(path);
        using Make = WaveBackend *(*)();
        if (auto make = reinterpret_cast<Make>(module.resolve(kWaveBackendFactory)))
            return std::unique_ptr<WaveBackend>(make());
        error = module.errorString();
    }
    qWarning("vortana: no sound module, playing silently: %s", qPrintable(error));
    return nullptr;
}

bool onWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

// A window's frame as the window system has it once the window is up: the
// widget's copy of it can lag behind a new mapping.
QRect frameOf(const QWidget &w)
{
    const QWindow *handle = w.windowHandle();
    return handle && handle->isExposed() ? handle->frameGeometry() : w.frameGeometry();
}

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

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

void centreFrame(QWidget &window, const QRect &area)
{
    QRect frame = frameOf(window);
    frame.moveCenter(area.center());
    QWindow *handle = window.windowHandle();
    if (handle && handle->isExposed())
        handle->setFramePosition(frame.topLeft());
    else
        window.move(frame.topLeft());
}

QtPlatform::QtPlatform() : programDir_(soundFolderBase()) {}

QtPlatform::~QtPlatform() = default;

WaveBackend *QtPlatform::wave()
{
    if (!waveTried_) {
        waveTried_ = true;
        wave_ = loadWaveBackend();
        // Decoded now, the first shot starts without a delay.
        if (wave_)
            for (std::string_view s : {kShot, kExplosion, kLaser})
                wave_->preload(programDir_ + QString::fromUtf8(s.data(), qsizetype(s.size())));
    }
    return wave_.get();
}

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

void QtPlatform::quit(int status)
{
    exitStatus_ = status;
    QCoreApplication::exit(status);
}

void QtPlatform::playWave(const QString &path)
{
    if (WaveBackend *w = wave())
        w->play(path);
}

void QtPlatform::warmUp() { wave(); }

QString QtPlatform::programDir() const { return programDir_; }

QString QtPlatform::dataDir() const
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

void setUpApplication(QApplication &app)
{
    QCoreApplication::setApplicationName(QStringLiteral("vortana"));
    QCoreApplication::setOrganizationName(QString());
    // No display name: Qt would append it to every title bar that doesn't
    // already end with it ("INIZIARE NUOVA GARA — Vortana").
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vortana.Vortana"));

    // Italian whatever the locale, Qt's own buttons included.
    auto *qtbase = new QTranslator(&app);
    if (qtbase->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtbase);

    // Metric-compatible stand-ins for the Windows families.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"));
    QFont::insertSubstitution(QStringLiteral("Arial Black"), QStringLiteral("DejaVu Sans"));
}

}  // namespace vortana

namespace vortana {

void onSessionEnd(QApplication &app, const std::function<void()> &handler)
{
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [handler](QSessionManager &) { handler(); });
    // A signal handler may only write: the event loop sees the byte and
    // ends the game on its own thread.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier, handler] {
        // Once is enough, so the byte is never read: a second signal ends
        // the program the default way, whatever state the first one found.
        notifier->setEnabled(false);
        for (int sig : {SIGTERM, SIGHUP})
            ::signal(sig, SIG_DFL);
        handler();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

}  // namespace vortana
