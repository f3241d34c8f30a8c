#include "window/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>

namespace vortana {

namespace {

constexpr int kUsageError = 2;

// QGuiApplication and QApplication read these themselves; the parser only
// has to let them through, with their values.
void acceptQtOptions(QCommandLineParser &parser)
{
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                             "qwindowicon", "qwindowtitle", "session", "display", "geometry", "name", "title",
                             "icon", "style", "stylesheet"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("valore"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : {"reverse", "widgetcount", "testability", "nograb", "dograb"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

}  // namespace

CommandLine readCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Qt's options are single-dash words: -platform is not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Vortana, un gioco di aritmetica: colpisci i multipli di 11 prima che scada il tempo.\n"
        "Accetta anche le opzioni di Qt, come -platform e -style."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Mostra questo aiuto ed esce."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Mostra la versione ed esce."));
    parser.addOption(help);
    parser.addOption(version);
    acceptQtOptions(parser);

    CommandLine result;
    const auto usageError = [&result](const QString &what) {
        result.status = kUsageError;
        result.error = QStringLiteral("vortana: %1\nProva 'vortana --help' per l'elenco delle opzioni.\n").arg(what);
    };
    if (!parser.parse(arguments)) {
        usageError(parser.errorText());
    } else if (parser.isSet(help)) {
        result.status = 0;
        result.output = parser.helpText();
    } else if (parser.isSet(version)) {
        result.status = 0;
        result.output = QStringLiteral("Vortana " VORTANA_VERSION "\n");
    } else if (!parser.positionalArguments().isEmpty()) {
        usageError(QStringLiteral("argomento inatteso '%1'.").arg(parser.positionalArguments().constFirst()));
    }
    return result;
}

int answerCommandLine(int argc, char **argv)
{
    // A plain start, as from the menu, pays for no second application object.
    if (argc <= 1)
        return -1;
    int count = argc;
    QCoreApplication app(count, argv);
    // Qt's translation gives the parser's own words ("Opzioni:") in Italian.
    QTranslator qtbase;
    if (qtbase.load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtbase);
    const CommandLine line = readCommandLine(QCoreApplication::arguments());
    std::fputs(line.output.toLocal8Bit().constData(), stdout);
    std::fputs(line.error.toLocal8Bit().constData(), stderr);
    return line.status;
}

}  // namespace vortana
