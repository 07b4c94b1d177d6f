// quorvin-language-export: the export window.
#include "Application.h"
#include "ExportWriter.h"
#include "FLanguageExport.h"

int main(int argc, char* argv[]) {
    const QString help = QStringLiteral(
        "Aufruf: %1 [--help] [--version]\n"
        "\n"
        "\u00D6ffnet das Fenster \u201EQuorvinStudio - Sprache exportieren\u201C: ein "
        "registriertes\n"
        "Projekt w\u00E4hlen, die Sprache, die \u00FCbersetzt werden soll, wahlweise eine\n"
        "Referenzsprache zum Lesen daneben und nur die fehlenden Texte, dann die Datei\n"
        "und \u201EExportieren\u201C. Geschrieben werden\n"
        "  %2\n"
        "Die Texte stehen in ihren wirklichen Zeichen; \u00FCbersetzt liest\n"
        "quorvin-language-import die Datei wieder ein.\n"
        "\n"
        "Optionen:\n"
        "  --help     diese Hilfe\n"
        "  --version  die Version\n");
    return RunWindow(argc, argv,
                     {QStringLiteral("QuorvinStudio Sprachexport"),
                      QStringLiteral("de.kalmiro.QuorvinSprachexport"),
                      QString(help).replace(QStringLiteral("%2"), ExportWriter::Extensions())},
                     [] { return std::make_unique<FLanguageExport>(); });
}
