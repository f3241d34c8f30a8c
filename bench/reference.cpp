// The yardstick for start-up and memory: the least a Qt Widgets program
// does to ask a name, the same prompt under the same title as the game.
// Built a second time with VORTANA_REFERENCE_WAV, it also plays that wave
// through one QSoundEffect: the least any Qt program with the game's sound
// maps.
#include <QApplication>
#include <QInputDialog>
#ifdef VORTANA_REFERENCE_WAV
#include <QSoundEffect>
#include <QUrl>
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QInputDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Vortana"));
    dialog.setLabelText(QStringLiteral("Come ti chiami?"));
    dialog.setInputMode(QInputDialog::TextInput);
#ifdef VORTANA_REFERENCE_WAV
    QSoundEffect effect;
    effect.setSource(QUrl::fromLocalFile(QStringLiteral(VORTANA_REFERENCE_WAV)));
    effect.play();  // starts once the sample has loaded
#endif
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
