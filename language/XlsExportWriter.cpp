#include "BiffRecordTypes.h"
#include "BiffRecords.h"
#include "CellText.h"
#include "ExportWriter.h"
#include "RuntimeError.h"
#include "Variant.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <unordered_map>

namespace {

using namespace Biff;

// The formats (XF records) of the workbook: the 15 style formats every workbook
// has, then the cells' ones.
enum : uint16_t {
    kXfDefault = 15,
    kXfHeader = 16,
    kXfText = 17,
    kXfReference = 18,
};
constexpr uint16_t kTextFormat = 49;  // the built-in number format "@"

QByteArray Font(uint16_t weight, bool italic, uint16_t colour) {
    const QString name = QStringLiteral("Arial");
    // The bold flag repeats the weight; readers go by either.
    const uint16_t flags = (weight >= 700 ? 0x0001 : 0) | (italic ? 0x0002 : 0);
    return Record(BiffRecord::kFont, U16(200) + U16(flags) + U16(colour) + U16(weight) + U16(0) +
                                         U8(0) + U8(0) + U8(0) + U8(0) +
                                         U8(static_cast<uint8_t>(name.size())) + U8(0) +
                                         Chars(name, false));
}

QByteArray Xf(uint16_t font, uint16_t format, bool style, uint8_t alignment = 0x20,
              uint16_t fill = 0x20C0, uint32_t pattern = 0) {
    // Style formats have no parent (0xFFF); cell formats take the Normal style (0).
    const uint16_t type = style ? 0xFFF5 : 0x0001;
    const uint8_t used = style ? 0x00 : 0xF8;
    return Record(BiffRecord::kXf, U16(font) + U16(format) + U16(type) + U8(alignment) + U8(0) +
                                       U8(0) + U8(used) + U32(0) + U32(pattern) + U16(fill));
}

QByteArray Globals() {
    QByteArray globals;
    globals += Record(BiffRecord::kCodePage, U16(1200));  // UTF-16
    globals +=
        Record(BiffRecord::kWindow1, U16(0) + U16(0) + U16(0x3000) + U16(0x2000) + U16(0x0038) +
                                         U16(0) + U16(0) + U16(1) + U16(0x0258));  // WINDOW1
    globals += Font(400, false, 0x7FFF);                                           // 0: normal
    globals += Font(700, false, 0x7FFF);  // 1: bold, the header
    globals += Font(400, false, 0x7FFF);  // 2
    globals += Font(400, false, 0x7FFF);  // 3; index 4 does not exist in BIFF
    globals += Font(400, true, 0x0017);   // 5: italic grey, the reference column
    for (int i = 0; i < 15; ++i) globals += Xf(0, 0, true);
    globals += Xf(0, 0, false);                  // 15 default cells and IDs
    globals += Xf(1, 0, false);                  // 16 header
    globals += Xf(0, kTextFormat, false, 0x28);  // 17 texts: "@", wrapped, top
    // 18 reference texts: as 17, in italic grey on a light grey solid fill
    globals += Xf(5, kTextFormat, false, 0x28, (64 << 7) | 0x16, 0x04000000);
    globals += Record(BiffRecord::kStyle, U16(0x8000) + U8(0) + U8(0xFF));  // Normal
    return globals;
}

// An .xls (BIFF8) workbook of our own making, built in memory and written into a
// compound document with libgsf. The texts are shared strings, every string once.
class XlsExportWriter : public ExportWriter {
  public:
    // 65,536 rows, the first names the columns.
    int64_t MaxRows() const override { return 65535; }

    void Begin(const QString& path, const QString& name, const Layout& layout) override {
        const std::vector<Column>& columns = layout.columns;
        path_ = path;
        name_ = name;
        columns_ = columns;
        row_ = 0;
        widths_.clear();
        cells_.clear();
        for (uint16_t c = 0; c < columns.size(); ++c) {
            const uint16_t width = static_cast<uint16_t>(std::min(columns[c].width, 250) * 256);
            const uint16_t xf = c == 0 ? kXfDefault : columns[c].reference ? kXfReference : kXfText;
            widths_ += Record(BiffRecord::kColInfo,
                              U16(c) + U16(c) + U16(width) + U16(xf) + U16(0) + U16(0));
        }
        for (uint16_t c = 0; c < columns.size(); ++c)
            cells_ += LabelSst(0, c, Shared(columns[c].name), kXfHeader);
        ++row_;
    }

    void Row(double id, const std::vector<std::optional<QString>>& texts) override {
        cells_ += Number(row_, 0, id, kXfDefault);
        for (uint16_t c = 0; c < texts.size(); ++c) {
            // Null and the empty text: no cell (spreadsheets keep an empty cell as it is).
            if (!texts[c] || texts[c]->isEmpty()) continue;
            if (texts[c]->size() > kMaxCellCharacters)
                throw RuntimeError::TextTooLongForWorkbook(name_, ShortestDecimal(id));
            const uint16_t xf = columns_[c + 1u].reference ? kXfReference : kXfText;
            cells_ += LabelSst(row_, c + 1, Shared(*texts[c]), xf);
        }
        ++row_;
    }

    void Finish() override {
        const uint16_t width = static_cast<uint16_t>(columns_.size());
        QByteArray sheet = widths_;
        sheet += Record(BiffRecord::kDimensions, U32(0) + U32(row_) + U16(0) + U16(width) + U16(0));
        sheet += cells_;
        // The window with the first row frozen, and its pane.
        sheet += Record(BiffRecord::kWindow2, U16(0x07BE) + U16(0) + U16(0) + U16(64) + U16(0) +
                                                  U16(0) + U16(0) + U32(0));
        sheet += Record(BiffRecord::kPane, U16(0) + U16(1) + U16(1) + U16(0) + U16(2));
        QByteArray globals = Globals() + SharedStrings(strings_);
        const QByteArray stream =
            WorkbookStream(8, globals, {{QStringLiteral("TidxTexts"), sheet}});
        if (!WriteCompoundFile(path_, stream, 8))
            throw RuntimeError::ExportNotWritten(name_, QStringLiteral("Schreibfehler"));
    }

  private:
    uint32_t Shared(const QString& text) {
        auto [it, added] = index_.try_emplace(text, static_cast<uint32_t>(strings_.size()));
        if (added) strings_.append(text);
        return it->second;
    }

    QString path_;
    QString name_;  // the file as the user named it
    std::vector<Column> columns_;
    QByteArray widths_;  // COLINFO records, which come before the cells
    QByteArray cells_;
    QStringList strings_;
    std::unordered_map<QString, uint32_t> index_;
    uint16_t row_ = 0;
};

}  // namespace

std::unique_ptr<ExportWriter> MakeXlsWriter() { return std::make_unique<XlsExportWriter>(); }
