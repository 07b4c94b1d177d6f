#include "Application.h"

#include "FProjectOpen.h"
#include "QtDialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QThreadPool>
#include <QTranslator>

#include <cstdio>

int RunWindow(int& argc, char** argv, const WindowProgram& program,
              const std::function<std::unique_ptr<QWidget>()>& makeWindow) {
    const QString called = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--help" || argument == "-h") {
            std::fputs(program.help.arg(called).toUtf8().constData(), stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("%s %s\n", QFile::encodeName(called).constData(), QUORVIN_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    app.setApplicationName(program.name);
    // Lets the desktop match the window to its menu entry and icon.
    app.setDesktopFileName(program.desktopId);

    // The whole interface is German, Qt's own buttons and dialogs included.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTranslator qtGerman;
    if (qtGerman.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtGerman);

    QtDialogs::InstallMessageBox();
    QtDialogs::InstallFileDialog();

    const std::unique_ptr<QWidget> window = makeWindow();
    window->show();
    // Both windows choose their project first: the chooser's list is read
    // while the user looks at the window.
    FProjectOpen::ReadAhead();
    const int status = app.exec();
    // A window closed at once: the reading ahead ends before the statics it uses go.
    QThreadPool::globalInstance()->waitForDone();
    return status;
}
