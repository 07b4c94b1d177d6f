#include "Application.h"

#include "QtDialogs.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int RunWindow(int& argc, char** argv, const QString& name,
              const std::function<std::unique_ptr<QWidget>()>& makeWindow) {
    QApplication app(argc, argv);
    app.setApplicationName(name);

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
    return app.exec();
}
