#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <string>

// Well-known error numbers. The database errors are the Jet engine's numbers.
namespace ErrorNumber {
inline constexpr int32_t InvalidArgument = 5;  // invalid procedure call or argument
inline constexpr int32_t Overflow = 6;
inline constexpr int32_t OutOfMemory = 7;
inline constexpr int32_t TypeMismatch = 13;
inline constexpr int32_t ObjectNotSet = 91;       // no object to work on
inline constexpr int32_t ReservedError = 3000;    // engine error without a number of its own
inline constexpr int32_t ObjectNotFound = 3011;   // table or sheet not in the source
inline constexpr int32_t ObjectExists = 3012;     // name already taken
inline constexpr int32_t NoCurrentRecord = 3021;  // MoveFirst on an empty table
inline constexpr int32_t FileNotFound = 3024;
inline constexpr int32_t DiskFull = 3026;
inline constexpr int32_t ReadOnly = 3027;
inline constexpr int32_t Corrupt = 3049;
inline constexpr int32_t CannotOpen = 3051;     // locked exclusively or no permission
inline constexpr int32_t FieldNotFound = 3061;  // column missing in a statement
inline constexpr int32_t TableNotFound = 3078;  // input table or query missing
inline constexpr int32_t InvalidStatement = 3129;
inline constexpr int32_t IsamNotFound = 3170;
inline constexpr int32_t Locked = 3218;
inline constexpr int32_t NoLink = 3264;  // table definition without link or fields
inline constexpr int32_t ItemNotFound = 3265;
inline constexpr int32_t ExternalFormat = 3274;      // workbook not in the expected format
inline constexpr int32_t UnrecognizedFormat = 3343;  // not a database
inline constexpr int32_t Cancelled = 3059;           // the user cancelled the operation
inline constexpr int32_t KeyNotUnique = 35602;
}  // namespace ErrorNumber

// The one error type of the program: a run-time error with a number and a German
// description. Every error the program raises is made by one of the named
// factories below, so each number and wording is written once; a description
// that concerns a file names it. The windows show "number: description".
class RuntimeError : public std::exception {
  public:
    int32_t Number() const { return number_; }
    const QString& Description() const { return description_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

    // The exception being handled as a run-time error: itself, or for any other
    // exception a number and description that say what it was. Call it in a catch block.
    static RuntimeError FromCurrentException();

    // General
    static RuntimeError OutOfMemory();
    static RuntimeError Unexpected(const QString& what);
    static RuntimeError Unknown();
    static RuntimeError Cancelled();
    static RuntimeError InvalidListIndex(int index);
    static RuntimeError InvalidSubItemIndex(int index);
    static RuntimeError KeyNotUnique(const QString& key);
    static RuntimeError ProjectTypeMismatch(const QString& typeText);
    static RuntimeError NoLanguageColumn(const QString& column);
    static RuntimeError LanguageIdOverflow(const QString& column);
    static RuntimeError UnknownLanguage(int32_t lcid, const QString& column);
    static RuntimeError CodePageUnsupported(int codePage);
    static RuntimeError CodePageTableDamaged(const QString& where);
    static RuntimeError TextNotConvertible(int codePage);
    static RuntimeError BytesNotConvertible(int codePage);

    // Files
    static RuntimeError FileNotFound(const QString& path);
    static RuntimeError FileUnreadable(const QString& path);
    static RuntimeError NotAFile(const QString& path);
    static RuntimeError NotWritable(const QString& path);
    static RuntimeError UnrecognizedDatabase(const QString& path);
    // kinds: the extensions that can be read (or written), ".qrp, .mdb, ...".
    static RuntimeError UnknownSourceKind(const QString& path, const QString& kinds);
    static RuntimeError UnknownExportKind(const QString& path, const QString& kinds);
    static RuntimeError ExportNotWritten(const QString& path, const QString& detail);
    // An export whose format needs a source language from a project with one language only.
    static RuntimeError NoSourceLanguage(const QString& path, const QString& column);
    static RuntimeError TooManyRowsForFormat(const QString& path, int64_t rows, int64_t limit);
    static RuntimeError TextTooLongForWorkbook(const QString& path, const QString& id);
    // A text of a workbook or text file (noun as for SourceDamaged) longer than a
    // cell holds, at where ("Zeile 5", "Tabelle TidxTexts, Zelle B5").
    static RuntimeError TextTooLongInSource(const QString& noun, const QString& path,
                                            const QString& where);
    static RuntimeError WorkbookDamaged(const QString& path, const QString& reason);
    // A source file of a kind named by noun ("Textdatei", "Arbeitsmappe") that does
    // not read as one; where says the place and the fault ("Zeile 5: ...").
    static RuntimeError SourceDamaged(const QString& noun, const QString& path,
                                      const QString& where);
    static RuntimeError SourceEmpty(const QString& noun, const QString& path);
    static RuntimeError XliffVersionUnknown(const QString& path, const QString& version);
    // An XLIFF file whose target language (tag) is not the language imported.
    static RuntimeError XliffWrongLanguage(const QString& path, const QString& tag,
                                           const QString& column, const QString& expected);
    static RuntimeError SheetNotFound(const QString& sheet, const QString& path);
    static RuntimeError TableNotInFile(const QString& table, const QString& path);
    static RuntimeError ColumnMissing(const QString& column, const QString& table,
                                      const QString& path);
    // place: how the source names its table, e.g. "in der Textdatei '/a/b.csv'".
    static RuntimeError ColumnMissingIn(const QString& column, const QString& place);
    static RuntimeError FolderNotFound(const QString& path);
    static RuntimeError AccessDamaged(const QString& path, const QString& reason);
    static RuntimeError AccessReaderNotStarted(const QString& program);

    // SQLite's answers, named after what they mean for the file
    static RuntimeError Locked(const QString& path);
    static RuntimeError DiskFull(const QString& path);
    static RuntimeError ReadOnlyFile(const QString& path);
    static RuntimeError NoJournalInFolder(const QString& path);
    static RuntimeError CannotOpen(const QString& path, const QString& detail);
    static RuntimeError DatabaseCorrupt(const QString& path, const QString& detail);
    static RuntimeError DatabaseError(const QString& path, const QString& detail);

    // The database engine
    static RuntimeError DatabaseClosed(const QString& database);
    static RuntimeError TableNotFound(const QString& table, const QString& database);
    static RuntimeError InvalidStatement(const QString& statement);
    static RuntimeError ItemNotFound(const QString& name, const QString& database);
    static RuntimeError NoLink(const QString& table);
    static RuntimeError ObjectExists(const QString& name);
    static RuntimeError IsamNotFound(const QString& type);
    static RuntimeError LinkNamesNoFile(const QString& connect);
    static RuntimeError LinkNamesNoTable(const QString& path);
    static RuntimeError LinkedTablesUnavailable(const QString& detail);

    // The registry store
    static RuntimeError RegistryDamaged(const QString& path, const QString& reason);
    static RuntimeError RegistryUnreadable(const QString& path);
    static RuntimeError RegistryLocked(const QString& path);
    static RuntimeError RegistryFolderNotWritable(const QString& path);
    static RuntimeError RegistryNotWritten(const QString& path);

    // The undo store of imports.
    // number: the cause's own where it has one (3026 for a full disk), else 3051.
    static RuntimeError UndoStoreNotWritable(const QString& path, const QString& detail,
                                             int32_t number = ErrorNumber::CannotOpen);
    static RuntimeError UndoStoreDamaged(const QString& path, const QString& detail);
    static RuntimeError NothingToUndo(const QString& project);
    static RuntimeError NotTheLastImport(const QString& project);
    static RuntimeError ImportNoLongerKept(const QString& project, const QString& time,
                                           int64_t limitMiB);
    static RuntimeError UnknownRegistryRoot(uint32_t root);

  private:
    RuntimeError(int32_t number, QString description);

    int32_t number_;
    QString description_;
    std::string utf8_;
};
