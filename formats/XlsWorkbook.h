#pragma once

#include "BiffSharedStrings.h"
#include "SheetStream.h"
#include "SourceTable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// An Excel 5.0/95 (BIFF5) or Excel 97-2003 (BIFF8) workbook. The compound-document
// container is read with libgsf; the BIFF records are read here, every length
// checked against its record.
class XlsWorkbook {
  public:
    // Reads the workbook stream and its globals (code page, shared strings, sheet
    // list). Fails with RuntimeError: 3024 when the file is missing, 3274 naming the
    // file when it is not a workbook of these versions or is damaged.
    explicit XlsWorkbook(const QString& path);
    // The same for a workbook file's bytes; name stands for the file in messages.
    XlsWorkbook(const QByteArray& contents, const QString& name);
    // The shared strings point into the workbook's bytes.
    XlsWorkbook(const XlsWorkbook&) = delete;
    XlsWorkbook& operator=(const XlsWorkbook&) = delete;

    QStringList SheetNames() const;
    bool HasSheet(const QString& name) const;

    // The worksheet's cells as a table. With a header the first row holds the column
    // names and every later row is one row of values; without one the columns are
    // named F1, F2, ... and every row is a row of values. Text cells are texts, number cells
    // numbers, empty cells Null. Fails with 3011 when there is no such sheet, 3274 when damaged.
    SourceTable ReadSheet(const QString& name, bool header = true,
                          SheetStream* stream = nullptr) const;

  private:
    struct Sheet {
        QString name;
        uint32_t offset;
        uint8_t type;
    };
    [[noreturn]] void Fail(const QString& detail) const;
    void Open(struct _GsfInput* input);
    void ReadGlobals();
    const Sheet* FindSheet(const QString& name) const;

    QString path_;
    std::vector<uint8_t> stream_;
    bool biff8_ = true;
    int codePage_ = 1252;
    BiffSharedStrings sharedStrings_;  // in stream_
    std::vector<Sheet> sheets_;
};
