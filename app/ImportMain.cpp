// quorvin-language-import: the import window.
#include "Application.h"
#include "FLanguageTransfer.h"
#include "SourceFormats.h"

int main(int argc, char* argv[]) {
    const QString help = QStringLiteral(
        "Aufruf: %1 [--help] [--version]\n"
        "\n"
        "\u00D6ffnet das Fenster \u201EQuorvinStudio - Sprache importieren\u201C: ein "
        "registriertes\n"
        "Projekt w\u00E4hlen (das Fernglas neben \u201EProjektname\u201C), eine seiner Sprachen "
        "und\n"
        "die Datei mit den Texten der Sprache, dann \u201EImportieren\u201C. Gelesen werden\n"
        "  %2\n"
        "Das Meldungsfenster danach sagt, was sich \u00E4nderte, und nimmt den Import mit\n"
        "\u201ER\u00FCckg\u00E4ngig\u201C wieder zur\u00FCck.\n"
        "\n"
        "Die Befehlszeile quorvin-language tut dasselbe f\u00FCr Stapelverarbeitung und CI;\n"
        "quorvin-language-export schreibt die Texte einer Sprache f\u00FCr \u00DCbersetzer.\n"
        "\n"
        "Optionen:\n"
        "  --help     diese Hilfe\n"
        "  --version  die Version\n");
    return RunWindow(argc, argv,
                     {QStringLiteral("QuorvinStudio Sprachimport"),
                      QStringLiteral("de.kalmiro.QuorvinSprachimport"),
                      QString(help).replace(QStringLiteral("%2"), SourceFormats::Extensions())},
                     [] { return std::make_unique<FLanguageTransfer>(); });
}
