#include "CommandLine.h"

#include <QCoreApplication>
#include <QLocale>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return CommandLine::Run(arguments);
}
