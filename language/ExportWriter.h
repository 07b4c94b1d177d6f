#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Writes the sheet "TidxTexts" of an export for translators into one file
// format: a header row naming the columns, then one row per text, the ID as a
// number and the texts as texts (never turned into numbers or dates). Null and
// empty texts are empty cells in workbooks, which every spreadsheet saves again
// as empty (an import treats Null and "" alike over an empty text); a text file
// writes "" for the empty text. Rows come in the order they are to stand in. Every method fails
// with a RuntimeError; a failed file is the caller's to delete.
class ExportWriter {
  public:
    struct Column {
        QString name;
        int width = 10;          // in characters, as the longest text wants it
        bool reference = false;  // shown to the translator, not to be translated
        int32_t lcid = 0;        // the language of a text column
    };
    // What the file holds: the project the texts come from, and the columns.
    struct Layout {
        QString project;
        std::vector<Column> columns;
    };

    virtual ~ExportWriter() = default;

    // The largest number of rows of texts the format holds.
    virtual int64_t MaxRows() const;

    // Whether the format needs a reference language beside the texts (a source
    // for each translation).
    virtual bool NeedsReference() const { return false; }

    // Opens path for writing; name stands for the file in messages. The columns
    // are the ID's and the texts'.
    virtual void Begin(const QString& path, const QString& name, const Layout& layout) = 0;
    virtual void Row(double id, const std::vector<std::optional<QString>>& texts) = 0;
    // Completes the file.
    virtual void Finish() = 0;
    // The IDs of the texts the format cannot hold (characters XML has no place
    // for), left out of the file.
    virtual std::vector<double> Omitted() const { return {}; }

    // The formats written, one row each: the extension, the name a file dialog
    // shows, and the writer.
    struct Format {
        QString extension;
        QString description;
        std::unique_ptr<ExportWriter> (*make)();
    };
    static const std::vector<Format>& Formats();
    // The format of a file's extension (any case), or null.
    static const Format* FormatOf(const QString& path);
    // ".xlsx, .xls, .csv"
    static QString Extensions();
    // A file dialog's filter of the formats, one entry per description:
    // "Excel-Arbeitsmappe (*.xlsx)|*.xlsx|...|XLIFF 1.2 (*.xlf;*.xliff)|*.xlf;*.xliff".
    static QString DialogFilter();

    // The writer for the file's extension; fails with 3170 for any other.
    static std::unique_ptr<ExportWriter> ForFile(const QString& path);
    // True when ForFile has a writer for the file.
    static bool Writes(const QString& path);
};

std::unique_ptr<ExportWriter> MakeXlsxWriter();
std::unique_ptr<ExportWriter> MakeXlsWriter();
std::unique_ptr<ExportWriter> MakeCsvWriter();
std::unique_ptr<ExportWriter> MakeXliffWriter();
