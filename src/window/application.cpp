#include "window/application.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

namespace vortana {

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
