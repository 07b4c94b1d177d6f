#include "Help.h"

#include "ExportWriter.h"
#include "SourceFormats.h"

#include <QStringList>

#include <algorithm>

namespace Help {
namespace {

const char* const kMain =
    "Aufruf: quorvin-language BEFEHL [ARGUMENTE] [OPTIONEN]\n"
    "\n"
    "Importiert die Texte einer Sprache in ein QuorvinStudio-Projekt, wie es das\n"
    "Fenster \u201ESprache importieren\u201C tut: f\u00FCr Stapelverarbeitung und CI.\n"
    "\n"
    "Befehle:\n"
    "  projects                        die registrierten Projekte\n"
    "  languages PROJEKT               die Sprachen eines Projekts\n"
    "  check PROJEKT SPRACHE QUELLE    zeigen, was ein Import t\u00E4te; schreibt nichts\n"
    "  import PROJEKT SPRACHE QUELLE   importieren und berichten, was sich \u00E4nderte\n"
    "  undo PROJEKT                    den letzten Import des Projekts zur\u00FCcknehmen\n"
    "  export PROJEKT SPRACHE DATEI    die Texte einer Sprache f\u00FCr \u00DCbersetzer "
    "ausgeben\n"
    "  lint PROJEKT SPRACHE            die Texte einer Sprache im Projekt pr\u00FCfen\n"
    "\n"
    "  PROJEKT  der Name eines registrierten Projekts oder der Pfad einer Projektdatei\n"
    "  SPRACHE  eine LCID (1049) oder ein Spaltenname (L1049) des Projekts\n"
    "  QUELLE   %SOURCES%\n"
    "  DATEI    die Datei, in die export schreibt: %OUTPUTS%\n"
    "\n"
    "Optionen:\n"
    "  --json      das Ergebnis als ein JSON-Objekt auf der Standardausgabe\n"
    "  --help      diese Hilfe; nach einem Befehl die Hilfe zum Befehl\n"
    "  --version   die Version\n"
    "\n"
    "R\u00FCckgabewerte:\n"
    "  0  erledigt\n"
    "  1  fehlgeschlagen; das Projekt ist unver\u00E4ndert (Fehler mit Nummer auf stderr)\n"
    "  2  falscher Aufruf\n"
    "  3  Befunde: check oder import --strict fanden Zeilen ohne Text im Projekt,\n"
    "     IDs ohne Zahl, mehrfache IDs, Zeichen, die die Codepage nicht kennt,\n"
    "     Bytes, die kein UTF-8 sind, oder Fehler der \u00DCbersetzung (lint ebenso);\n"
    "     undo fand Texte, die sich seit dem Import ge\u00E4ndert haben; export schrieb\n"
    "     Texte, wie sie gespeichert sind\n"
    "\n"
    "Die \u00DCbersetzung wird gegen die Texte derselben ID in einer Referenzsprache\n"
    "gepr\u00FCft: mit --reference SPRACHE gegen diese, sonst gegen Deutsch (L1031),\n"
    "wenn das Projekt es hat. Fehler: Platzhalter (%1, %s, {0}), Zugriffstasten (&),\n"
    "Zeilenumbr\u00FCche und Tags weichen ab. Hinweise: Leerraum am Rand, Satzzeichen\n"
    "am Ende, doppelte Leerzeichen, unver\u00E4nderte oder leere \u00DCbersetzungen.\n";

struct CommandHelp {
    const char* name;
    const char* text;
};

const CommandHelp kCommandHelp[] = {
    {"projects",
     "Aufruf: quorvin-language projects [--json]\n"
     "\n"
     "Listet die registrierten Projekte: Name, Typ und Verzeichnis. Ein Projekt,\n"
     "dessen Datei fehlt, ist mit \u201E(Datei fehlt)\u201C markiert; die Registrierung\n"
     "bleibt, wie sie ist.\n"},
    {"languages",
     "Aufruf: quorvin-language languages PROJEKT [--json]\n"
     "\n"
     "Listet die Sprachen des Projekts: LCID, Spalte und Name.\n"},
    {"check",
     "Aufruf: quorvin-language check PROJEKT SPRACHE QUELLE [--json] [--encoding KODIERUNG]\n"
     "                               [--reference SPRACHE]\n"
     "\n"
     "Zeigt, was \u201Eimport\u201C t\u00E4te, und schreibt nichts: das Projekt bleibt Byte "
     "f\u00FCr\n"
     "Byte, wie es ist. R\u00FCckgabewert 3, wenn die Quelle Zeilen ohne passenden Text\n"
     "im Projekt, IDs ohne Zahl, mehrfache IDs, Zeichen, die die Codepage der Sprache\n"
     "nicht kennt, Bytes, die in einer UTF-8-Textdatei kein UTF-8 sind, oder\n"
     "\u00DCbersetzungen mit Fehlern hat (siehe --reference); sonst 0. Hinweise \u00E4ndern\n"
     "den R\u00FCckgabewert nicht.\n"
     "\n"
     "  --encoding KODIERUNG  eine Textdatei in dieser Kodierung lesen (UTF-8,\n"
     "                        UTF-16, Windows-1251, Shift_JIS, ...); ohne sie wird die\n"
     "                        Kodierung erkannt: UTF-8 oder UTF-16, sonst die ANSI-Codepage\n"
     "                        der Sprache (Windows-1251 f\u00FCr Russisch)\n"
     "  --reference SPRACHE   die Texte gegen diese Sprache pr\u00FCfen; ohne sie gegen\n"
     "                        Deutsch (L1031), wenn das Projekt es hat und es nicht die\n"
     "                        importierte Sprache ist\n"},
    {"import",
     "Aufruf: quorvin-language import PROJEKT SPRACHE QUELLE [--json] [--strict]\n"
     "                                [--encoding KODIERUNG] [--reference SPRACHE]\n"
     "\n"
     "Importiert die Texte der Sprache aus der Quelle in das Projekt, in einer\n"
     "Transaktion, und berichtet, was sich \u00E4nderte. Die vorigen Texte kommen in den\n"
     "R\u00FCckgängig-Speicher (siehe undo).\n"
     "\n"
     "  --strict              nichts schreiben, wenn check etwas findet (R\u00FCckgabewert 3)\n"
     "  --encoding KODIERUNG  eine Textdatei in dieser Kodierung lesen (wie bei check)\n"
     "  --reference SPRACHE   die Texte gegen diese Sprache pr\u00FCfen (wie bei check)\n"},
    {"lint",
     "Aufruf: quorvin-language lint PROJEKT SPRACHE [--reference SPRACHE] [--json]\n"
     "\n"
     "Pr\u00FCft die Texte der Sprache, die das Projekt schon hat, wie check die Texte\n"
     "einer Quelle pr\u00FCft: gegen die Texte derselben ID in der Referenzsprache, beide\n"
     "in ihren wirklichen Zeichen. Das Projekt wird nur gelesen. R\u00FCckgabewert 3, wenn\n"
     "ein Text einen Fehler hat; Hinweise \u00E4ndern ihn nicht.\n"
     "\n"
     "  --reference SPRACHE  gegen diese Sprache pr\u00FCfen; ohne sie gegen Deutsch (L1031)\n"},
    {"undo",
     "Aufruf: quorvin-language undo PROJEKT [--json] [--list] [--force]\n"
     "\n"
     "Nimmt den letzten Import des Projekts zur\u00FCck, der noch nicht zur\u00FCckgenommen\n"
     "ist, in einer Transaktion: jeder Text bekommt seinen vorigen Wert, wenn er noch\n"
     "h\u00E4lt, was der Import schrieb. Texte, die sich seitdem ge\u00E4ndert haben, bleiben\n"
     "und werden als Konflikte genannt (R\u00FCckgabewert 3).\n"
     "\n"
     "  --list   die gespeicherten Imports des Projekts zeigen (die letzten 20), mit\n"
     "           ihrer Gr\u00F6\u00DFe und der Gr\u00F6\u00DFe des Speichers\n"
     "  --force  auch die Konflikte auf den vorigen Wert setzen\n"
     "\n"
     "Alle R\u00FCckg\u00E4ngig-Speicher zusammen belegen h\u00F6chstens 1.024 MB, oder was\n"
     "QUORVIN_UNDO_LIMIT_MB sagt: dar\u00FCber geben die \u00E4ltesten Imports ihre Daten\n"
     "ab, nie der gerade gemachte; sie lassen sich dann nicht mehr zur\u00FCcknehmen.\n"},
    {"export",
     "Aufruf: quorvin-language export PROJEKT SPRACHE DATEI [--reference SPRACHE]\n"
     "                                [--missing-only] [--json]\n"
     "\n"
     "Schreibt die Texte der Sprache f\u00FCr \u00DCbersetzer in die DATEI, einen je Text,\n"
     "nach ID geordnet: in eine Arbeitsmappe oder Textdatei (UTF-8, durch Kommas\n"
     "getrennt) mit dem Blatt \u201ETidxTexts\u201C und den Spalten ID, Referenz und Sprache,\n"
     "oder in eine XLIFF-1.2-Datei f\u00FCr \u00DCbersetzungsprogramme. Die Texte stehen in\n"
     "ihren wirklichen Zeichen; so \u00FCbersetzt, liest \u201Eimport\u201C die Datei wieder ein.\n"
     "Texte, die ein Import nicht unver\u00E4ndert zur\u00FCckbr\u00E4chte, stehen, wie sie\n"
     "gespeichert sind, und werden genannt (R\u00FCckgabewert 3). Das Projekt wird nur\n"
     "gelesen.\n"
     "\n"
     "  DATEI                %OUTPUTS%\n"
     "  --reference SPRACHE  eine zweite Sprache zum Lesen daneben, nicht zu \u00FCbersetzen;\n"
     "                       XLIFF braucht sie als Ausgangssprache: ohne sie Deutsch\n"
     "                       (L1031), sonst die erste andere Sprache des Projekts\n"
     "  --missing-only       nur die Texte, die der Sprache noch fehlen (leer)\n"},
};

// The text with the formats of the tables in place of %SOURCES% and %OUTPUTS%;
// a line that grows too long goes on under where its value began.
QString WithFormats(const char* text) {
    QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    QStringList out;
    for (const QString& line : lines) {
        const qsizetype at = std::max(line.indexOf(QLatin1String("%SOURCES%")),
                                      line.indexOf(QLatin1String("%OUTPUTS%")));
        QString filled = QString(line)
                             .replace(QStringLiteral("%SOURCES%"), SourceFormats::Described())
                             .replace(QStringLiteral("%OUTPUTS%"), ExportWriter::Extensions());
        while (at >= 0 && filled.size() > 80) {
            const qsizetype cut = filled.lastIndexOf(QLatin1Char(' '), 80);
            if (cut <= at) break;
            out << filled.left(cut);
            filled = QString(at, QLatin1Char(' ')) + filled.mid(cut + 1);
        }
        out << filled;
    }
    return out.join(QLatin1Char('\n'));
}

}  // namespace

QString Main() { return WithFormats(kMain); }

QString ForCommand(const QString& command) {
    for (const auto& help : kCommandHelp)
        if (command == QLatin1String(help.name)) return WithFormats(help.text);
    return {};
}

}  // namespace Help
