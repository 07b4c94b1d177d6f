#include "FLanguageTransfer.h"
#include "QtDialogs.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("QuorvinStudio Sprachimport"));

    // The whole interface is German, Qt's own buttons and dialogs included.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTranslator qtGerman;
    if (qtGerman.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtGerman);

    QtDialogs::InstallMessageBox();
    QtDialogs::InstallOpenDialog();

    FLanguageTransfer window;
    window.show();
    return app.exec();
}
