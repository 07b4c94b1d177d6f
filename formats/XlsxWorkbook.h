#pragma once

#include "SharedStringTable.h"
#include "SheetStream.h"
#include "SourceTable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class CellGrid;
struct _GsfInfile;
struct _GsfInput;

// An Excel 2007 and later workbook (Office Open XML, ".xlsx"): a ZIP container,
// read with libgsf, whose parts are XML, read here with Qt's stream reader. The
// sheets are found through the workbook and its relationships. Every part is
// read in pieces and refused when it inflates beyond a limit, so a hostile file
// cannot make the reader hold more than it allows.
class XlsxWorkbook {
  public:
    // When the workbook's table of texts (its shared strings) is read: when it
    // opens, or beside the reading of a sheet, on a thread of its own that reads
    // the container again. The cells wait for the texts they show, and the
    // sheet fails with what the texts' reading failed with, as the opening
    // would have: an import streaming the sheet begins without waiting for
    // the whole table.
    enum class Texts { AtOpen, BesideTheSheet };

    // Reads the workbook part and its sheet list. Fails with RuntimeError: 3024
    // when the file is missing, 3274 naming the file and the part and line of the
    // fault when it is empty, not such a workbook or damaged.
    explicit XlsxWorkbook(const QString& path, Texts texts = Texts::AtOpen);
    // The same for a workbook file's bytes; name stands for the file in messages.
    XlsxWorkbook(const QByteArray& contents, const QString& name, Texts texts = Texts::AtOpen);
    // Stops reading the texts beside and waits for it.
    ~XlsxWorkbook();
    XlsxWorkbook(const XlsxWorkbook&) = delete;
    XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

    QStringList SheetNames() const;
    bool HasSheet(const QString& name) const;

    // The worksheet's cells as a table, as XlsWorkbook::ReadSheet gives them:
    // shared, rich and inline strings and the text results of formulas as texts,
    // numbers as numbers, booleans as booleans, empty cells and errors as Null. A
    // formula without a cached result is an empty cell, the formula ="" the empty
    // text. A cell that cannot be read (a number that is none, a text that is not
    // there, a text longer than the 32,767 characters a cell holds) is an
    // unreadable cell of the table, named by sheet and cell.
    // Fails with 3011 when there is no such sheet, 3274 when damaged.
    SourceTable ReadSheet(const QString& name, bool header = true,
                          SheetStream* stream = nullptr) const;

    // The word messages call such a file by.
    static inline const QString kNoun = QStringLiteral("Arbeitsmappe");

    // A relationship of a part: to the part target, of the type named by the last
    // piece of its type URI ("officeDocument", "worksheet", ...).
    struct Relationship {
        QString type;
        QString target;
    };

  private:
    struct Sheet {
        QString name;
        QString part;  // the sheet's part in the container, e.g. "xl/worksheets/sheet1.xml"
    };
    [[noreturn]] void Fail(const QString& where) const;
    void Open(_GsfInput* input);
    void ReadSheetList(_GsfInput* workbook, const QString& part,
                       const QHash<QString, Relationship>& relationships);
    void ReadSharedStrings(_GsfInfile* container, const QString& part);
    void ReadSharedStringsBeside(const QString& part);
    // The texts read beside are whole: fails with what their reading failed with.
    void WaitForTexts() const;
    const Sheet* FindSheet(const QString& name) const;
    void ReadCells(const Sheet& sheet, CellGrid& grid) const;
    template <typename SetCell>
    void ReadCellsBeside(_GsfInput* input, const QString& part, const SetCell& setCell) const;

    QString path_;
    QByteArray contents_;  // of a workbook read from bytes: its parts are read from them
    std::shared_ptr<_GsfInfile> container_;
    Texts texts_;
    SharedStringTable sharedStrings_;
    std::thread textsReading_;  // reading the texts beside
    std::vector<Sheet> sheets_;
};
