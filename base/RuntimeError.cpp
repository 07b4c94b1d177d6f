#include "RuntimeError.h"

#include <QLocale>

#include <new>
#include <utility>

namespace N = ErrorNumber;

RuntimeError::RuntimeError(int32_t number, QString description)
    : number_(number),
      description_(std::move(description)),
      utf8_(QString::number(number_)
                .append(QStringLiteral(": "))
                .append(description_)
                .toStdString()) {}

RuntimeError RuntimeError::FromCurrentException() {
    try {
        throw;
    } catch (const RuntimeError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return OutOfMemory();
    } catch (const std::exception& error) {
        return Unexpected(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return Unknown();
    }
}

// General

RuntimeError RuntimeError::OutOfMemory() {
    return {N::OutOfMemory, QStringLiteral("Nicht genügend Arbeitsspeicher.")};
}

RuntimeError RuntimeError::Unexpected(const QString& what) { return {N::ReservedError, what}; }

RuntimeError RuntimeError::Unknown() {
    return {N::ReservedError, QStringLiteral("Unbekannter Fehler.")};
}

RuntimeError RuntimeError::Cancelled() {
    return {N::Cancelled, QStringLiteral("Der Vorgang wurde abgebrochen; nichts wurde geändert.")};
}

RuntimeError RuntimeError::InvalidListIndex(int index) {
    return {N::InvalidArgument, QStringLiteral("Ungültiger Listenindex %1.").arg(index)};
}

RuntimeError RuntimeError::InvalidSubItemIndex(int index) {
    return {N::InvalidArgument, QStringLiteral("Ungültiger Unterelementindex %1.").arg(index)};
}

RuntimeError RuntimeError::KeyNotUnique(const QString& key) {
    return {N::KeyNotUnique,
            QStringLiteral("Der Schlüssel '%1' ist in der Auflistung nicht eindeutig.").arg(key)};
}

RuntimeError RuntimeError::ProjectTypeMismatch(const QString& typeText) {
    return {N::TypeMismatch,
            QStringLiteral("Typen unverträglich: Der Projekttyp '%1' ist keine Projektart.")
                .arg(typeText)};
}

RuntimeError RuntimeError::NoLanguageColumn(const QString& column) {
    return {N::TypeMismatch,
            QStringLiteral("Typen unverträglich: Die Spalte '%1' nennt keine Sprachkennung.")
                .arg(column)};
}

RuntimeError RuntimeError::LanguageIdOverflow(const QString& column) {
    return {N::Overflow,
            QStringLiteral("Überlauf: Die Sprachkennung der Spalte '%1' ist zu groß.").arg(column)};
}

RuntimeError RuntimeError::UnknownLanguage(int32_t lcid, const QString& column) {
    return {N::InvalidArgument,
            QStringLiteral("Ungültiger Prozeduraufruf oder ungültiges Argument: Für die "
                           "Sprachkennung %1 (Spalte '%2') kennt das System keine Sprache.")
                .arg(lcid)
                .arg(column)};
}

RuntimeError RuntimeError::CodePageUnsupported(int codePage) {
    return {N::InvalidArgument,
            QStringLiteral("Die Codepage %1 wird nicht unterstützt.").arg(codePage)};
}

RuntimeError RuntimeError::CodePageTableDamaged(const QString& where) {
    return {N::InvalidArgument,
            QStringLiteral("Die Codepage-Tabelle ist beschädigt (bei '%1').").arg(where)};
}

RuntimeError RuntimeError::TextNotConvertible(int codePage) {
    return {
        N::InvalidArgument,
        QStringLiteral("Der Text kann nicht in die Codepage %1 umgewandelt werden.").arg(codePage)};
}

RuntimeError RuntimeError::BytesNotConvertible(int codePage) {
    return {
        N::InvalidArgument,
        QStringLiteral("Die Bytes können nicht aus der Codepage %1 gelesen werden.").arg(codePage)};
}

// Files

RuntimeError RuntimeError::FileNotFound(const QString& path) {
    return {N::FileNotFound, QStringLiteral("Die Datei '%1' wurde nicht gefunden.").arg(path)};
}

RuntimeError RuntimeError::FileUnreadable(const QString& path) {
    return {N::CannotOpen, QStringLiteral("Die Datei '%1' kann nicht gelesen werden.").arg(path)};
}

RuntimeError RuntimeError::NotAFile(const QString& path) {
    return {N::CannotOpen,
            QStringLiteral("'%1' ist keine Datei und kann nicht geöffnet werden.").arg(path)};
}

RuntimeError RuntimeError::NotWritable(const QString& path) {
    return {N::CannotOpen,
            QStringLiteral("Die Datei '%1' kann nicht zum Schreiben geöffnet werden; "
                           "sie ist schreibgeschützt oder Ihnen fehlt die Berechtigung.")
                .arg(path)};
}

RuntimeError RuntimeError::UnrecognizedDatabase(const QString& path) {
    return {N::UnrecognizedFormat,
            QStringLiteral("Nicht erkanntes Datenbankformat '%1'.").arg(path)};
}

RuntimeError RuntimeError::UnknownSourceKind(const QString& path, const QString& kinds) {
    return {N::NoLink,
            QStringLiteral("Die Datei '%1' kann nicht verknüpft werden: Ihre Endung nennt keine "
                           "Quelle, die sich importieren lässt (%2).")
                .arg(path, kinds)};
}

RuntimeError RuntimeError::UnknownExportKind(const QString& path, const QString& kinds) {
    return {N::IsamNotFound,
            QStringLiteral("In die Datei '%1' kann nicht exportiert werden: Ihre Endung nennt "
                           "kein Format, das sich schreiben lässt (%2).")
                .arg(path, kinds)};
}

RuntimeError RuntimeError::ExportNotWritten(const QString& path, const QString& detail) {
    return {N::CannotOpen,
            QStringLiteral("Die Datei '%1' konnte nicht geschrieben werden: %2. Eine vorhandene "
                           "Datei dieses Namens ist unverändert.")
                .arg(path, detail)};
}

RuntimeError RuntimeError::NoSourceLanguage(const QString& path, const QString& column) {
    return {N::InvalidArgument,
            QStringLiteral("Die Datei '%1' braucht neben %2 eine Ausgangssprache, doch das "
                           "Projekt hat keine andere Sprache.")
                .arg(path, column)};
}

RuntimeError RuntimeError::TooManyRowsForFormat(const QString& path, int64_t rows, int64_t limit) {
    return {N::InvalidArgument,
            QStringLiteral("In die Datei '%1' passen höchstens %2 Texte, zu exportieren sind %3; "
                           "wählen Sie .xlsx oder .csv.")
                .arg(path, QLocale(QLocale::German).toString(static_cast<qlonglong>(limit)),
                     QLocale(QLocale::German).toString(static_cast<qlonglong>(rows)))};
}

RuntimeError RuntimeError::TextTooLongForWorkbook(const QString& path, const QString& id) {
    return {N::InvalidArgument,
            QStringLiteral("Der Text mit der ID %1 ist länger als die 32.767 Zeichen, die eine "
                           "Zelle fasst, und kommt aus '%2' nicht zurück; wählen Sie .xlf.")
                .arg(id, path)};
}

RuntimeError RuntimeError::TextTooLongInSource(const QString& noun, const QString& path,
                                               const QString& where) {
    return {N::ExternalFormat,
            QStringLiteral("In der %1 '%2', %3, steht ein Text, der länger ist als die 32.767 "
                           "Zeichen, die eine Zelle fasst. Längere Texte kommen aus einer "
                           "Datenbank oder einer XLIFF-Datei.")
                .arg(noun, path, where)};
}

RuntimeError RuntimeError::WorkbookDamaged(const QString& path, const QString& reason) {
    return {N::ExternalFormat,
            QStringLiteral("Die Datei '%1' ist keine lesbare Arbeitsmappe oder ist beschädigt: %2.")
                .arg(path, reason)};
}

RuntimeError RuntimeError::SourceDamaged(const QString& noun, const QString& path,
                                         const QString& where) {
    return {N::ExternalFormat,
            QStringLiteral("Die %1 '%2' ist fehlerhaft: %3.").arg(noun, path, where)};
}

RuntimeError RuntimeError::SourceEmpty(const QString& noun, const QString& path) {
    return {N::ExternalFormat, QStringLiteral("Die %1 '%2' ist leer.").arg(noun, path)};
}

RuntimeError RuntimeError::XliffVersionUnknown(const QString& path, const QString& version) {
    return {N::ExternalFormat,
            QStringLiteral("Die XLIFF-Datei '%1' hat die Version „%2“, die sich nicht lesen lässt; "
                           "gelesen werden XLIFF 1.0, 1.1, 1.2, 2.0 und 2.1.")
                .arg(path, version)};
}

RuntimeError RuntimeError::XliffWrongLanguage(const QString& path, const QString& tag,
                                              const QString& column, const QString& expected) {
    return {N::InvalidArgument,
            QStringLiteral("Die XLIFF-Datei '%1' enthält Übersetzungen in „%2“, importiert werden "
                           "soll aber %3 („%4“); nichts wurde geändert.")
                .arg(path, tag, column, expected)};
}

RuntimeError RuntimeError::SheetNotFound(const QString& sheet, const QString& path) {
    return {N::ObjectNotFound,
            QStringLiteral("Das Tabellenblatt '%1' wurde in der Arbeitsmappe '%2' nicht gefunden.")
                .arg(sheet, path)};
}

RuntimeError RuntimeError::TableNotInFile(const QString& table, const QString& path) {
    return {N::ObjectNotFound,
            QStringLiteral("Die Tabelle '%1' wurde in der Datei '%2' nicht gefunden.")
                .arg(table, path)};
}

RuntimeError RuntimeError::ColumnMissing(const QString& column, const QString& table,
                                         const QString& path) {
    return {N::FieldNotFound,
            QStringLiteral("Die Spalte '%1' fehlt in der Tabelle '%2' der Datei '%3'.")
                .arg(column, table, path)};
}

RuntimeError RuntimeError::ColumnMissingIn(const QString& column, const QString& place) {
    return {N::FieldNotFound, QStringLiteral("Die Spalte '%1' fehlt %2.").arg(column, place)};
}

RuntimeError RuntimeError::FolderNotFound(const QString& path) {
    return {N::FileNotFound, QStringLiteral("Der Ordner '%1' existiert nicht.").arg(path)};
}

RuntimeError RuntimeError::AccessDamaged(const QString& path, const QString& reason) {
    return {N::Corrupt,
            QStringLiteral(
                "Die Access-Datenbank '%1' ist beschädigt oder kann nicht gelesen werden (%2).")
                .arg(path, reason)};
}

RuntimeError RuntimeError::AccessReaderNotStarted(const QString& program) {
    return {
        N::CannotOpen,
        QStringLiteral("Das Leseprogramm für Access-Datenbanken (%1) kann nicht gestartet werden.")
            .arg(program)};
}

// SQLite's answers

RuntimeError RuntimeError::Locked(const QString& path) {
    return {N::Locked,
            QStringLiteral("Die Datei '%1' ist von einem anderen Programm gesperrt. "
                           "Schließen Sie das andere Programm und versuchen Sie es erneut.")
                .arg(path)};
}

RuntimeError RuntimeError::DiskFull(const QString& path) {
    return {N::DiskFull,
            QStringLiteral("Nicht genügend Speicherplatz auf dem Datenträger für '%1'.").arg(path)};
}

RuntimeError RuntimeError::ReadOnlyFile(const QString& path) {
    return {N::ReadOnly, QStringLiteral("Die Datei '%1' ist schreibgeschützt.").arg(path)};
}

RuntimeError RuntimeError::NoJournalInFolder(const QString& path) {
    return {N::ReadOnly,
            QStringLiteral("Die Datei '%1' kann nicht geändert werden: In ihrem Ordner kann "
                           "keine Journaldatei angelegt werden (Ordner schreibgeschützt).")
                .arg(path)};
}

RuntimeError RuntimeError::CannotOpen(const QString& path, const QString& detail) {
    return {N::CannotOpen,
            QStringLiteral("Die Datei '%1' kann nicht geöffnet werden (%2).").arg(path, detail)};
}

RuntimeError RuntimeError::DatabaseCorrupt(const QString& path, const QString& detail) {
    return {N::Corrupt,
            QStringLiteral("Die Datenbank '%1' ist beschädigt (%2).").arg(path, detail)};
}

RuntimeError RuntimeError::DatabaseError(const QString& path, const QString& detail) {
    return {N::ReservedError, QStringLiteral("Datenbankfehler in '%1': %2").arg(path, detail)};
}

// The database engine

RuntimeError RuntimeError::DatabaseClosed(const QString& database) {
    return {N::ObjectNotSet, QStringLiteral("Die Datenbank '%1' ist geschlossen.").arg(database)};
}

RuntimeError RuntimeError::TableNotFound(const QString& table, const QString& database) {
    return {N::TableNotFound,
            QStringLiteral("Die Tabelle '%1' wurde in der Datenbank '%2' nicht gefunden.")
                .arg(table, database)};
}

RuntimeError RuntimeError::InvalidStatement(const QString& statement) {
    return {N::InvalidStatement,
            QStringLiteral("Ungültige oder nicht unterstützte SQL-Anweisung: %1").arg(statement)};
}

RuntimeError RuntimeError::ItemNotFound(const QString& name, const QString& database) {
    return {N::ItemNotFound,
            QStringLiteral("Das Element '%1' ist in dieser Auflistung nicht vorhanden "
                           "(Tabellen der Datenbank '%2').")
                .arg(name, database)};
}

RuntimeError RuntimeError::NoLink(const QString& table) {
    return {N::NoLink,
            QStringLiteral("Für die Tabelle '%1' ist keine Verknüpfung und kein Feld festgelegt; "
                           "sie kann nicht angefügt werden.")
                .arg(table)};
}

RuntimeError RuntimeError::ObjectExists(const QString& name) {
    return {N::ObjectExists, QStringLiteral("Das Objekt '%1' existiert bereits.").arg(name)};
}

RuntimeError RuntimeError::IsamNotFound(const QString& type) {
    return {N::IsamNotFound,
            QStringLiteral("Installierbares ISAM für '%1' nicht gefunden.").arg(type)};
}

RuntimeError RuntimeError::LinkNamesNoFile(const QString& connect) {
    return {N::FileNotFound,
            QStringLiteral("Die Verknüpfung '%1' nennt keine Datei.").arg(connect)};
}

RuntimeError RuntimeError::LinkNamesNoTable(const QString& path) {
    return {N::NoLink,
            QStringLiteral("Die Verknüpfung mit '%1' nennt keine Quelltabelle.").arg(path)};
}

RuntimeError RuntimeError::LinkedTablesUnavailable(const QString& detail) {
    return {
        N::ReservedError,
        QStringLiteral("Verknüpfte Tabellen können nicht bereitgestellt werden: %1").arg(detail)};
}

// The registry store

RuntimeError RuntimeError::RegistryDamaged(const QString& path, const QString& reason) {
    return {
        N::Corrupt,
        QStringLiteral("Die Registrierungsdatei '%1' ist beschädigt: %2. Sie wird nicht verändert.")
            .arg(path, reason)};
}

RuntimeError RuntimeError::RegistryUnreadable(const QString& path) {
    return {N::CannotOpen,
            QStringLiteral("Die Registrierungsdatei '%1' kann nicht gelesen werden.").arg(path)};
}

RuntimeError RuntimeError::RegistryLocked(const QString& path) {
    return {N::Locked,
            QStringLiteral("Die Registrierungsdatei '%1' ist von einem anderen Programm gesperrt.")
                .arg(path)};
}

RuntimeError RuntimeError::RegistryFolderNotWritable(const QString& path) {
    return {N::CannotOpen, QStringLiteral("Die Registrierungsdatei '%1' kann nicht geändert "
                                          "werden; Ihnen fehlt die Berechtigung für ihren Ordner.")
                               .arg(path)};
}

RuntimeError RuntimeError::RegistryNotWritten(const QString& path) {
    return {
        N::CannotOpen,
        QStringLiteral("Die Registrierungsdatei '%1' kann nicht geschrieben werden.").arg(path)};
}

RuntimeError RuntimeError::UndoStoreNotWritable(const QString& path, const QString& detail,
                                                int32_t number) {
    return {number,
            QStringLiteral("Die Rückgängig-Daten in '%1' können nicht geschrieben werden (%2); "
                           "darum wurde nichts importiert.")
                .arg(path, detail)};
}

RuntimeError RuntimeError::UndoStoreDamaged(const QString& path, const QString& detail) {
    return {N::Corrupt,
            QStringLiteral("Die Rückgängig-Daten in '%1' sind beschädigt (%2). Die Datei wird "
                           "nicht überschrieben; entfernen Sie sie, um neu zu beginnen.")
                .arg(path, detail)};
}

RuntimeError RuntimeError::NothingToUndo(const QString& project) {
    return {N::NoCurrentRecord,
            QStringLiteral("Für das Projekt '%1' gibt es keinen Import, der sich zurücknehmen "
                           "lässt.")
                .arg(project)};
}

RuntimeError RuntimeError::NotTheLastImport(const QString& project) {
    return {N::NoCurrentRecord,
            QStringLiteral("Der Import ist nicht mehr der letzte des Projekts '%1' (ein anderes "
                           "Programm hat seitdem importiert oder zurückgenommen); nichts wurde "
                           "geändert.")
                .arg(project)};
}

RuntimeError RuntimeError::ImportNoLongerKept(const QString& project, const QString& time,
                                              int64_t limitMiB) {
    return {N::NoCurrentRecord,
            QStringLiteral("Der letzte Import in das Projekt '%1' (vom %2) lässt sich nicht mehr "
                           "zurücknehmen: Seine Rückgängig-Daten wurden entfernt, damit alle "
                           "Rückgängig-Daten zusammen höchstens %3 MB belegen "
                           "(QUORVIN_UNDO_LIMIT_MB). Nichts wurde geändert.")
                .arg(project, time)
                .arg(limitMiB)};
}

RuntimeError RuntimeError::UnknownRegistryRoot(uint32_t root) {
    return {N::InvalidArgument, QStringLiteral("Unbekannter Registrierungsschlüssel 0x%1.")
                                    .arg(root, 8, 16, QLatin1Char('0'))};
}
