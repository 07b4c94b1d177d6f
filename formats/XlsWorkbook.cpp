#include "XlsWorkbook.h"
#include "BiffRecordTypes.h"

#include "BiffCellDecoder.h"
#include "BiffRecordReader.h"
#include "CellGrid.h"
#include "CodePageConverter.h"
#include "Gsf.h"
#include "RuntimeError.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input.h>
#include <algorithm>

namespace {

using namespace BiffRecord;

// Workbook streams larger than this are not workbooks this tool reads.
constexpr gsf_off_t kMaxStreamSize = gsf_off_t{1} << 30;

// One record of the stream: its type, its data and the data of the CONTINUE
// records that follow it.
struct Record {
    uint16_t type = 0;
    std::vector<std::span<const uint8_t>> segments;
    BiffRecordReader Reader() const { return BiffRecordReader(segments); }
    size_t Size() const { return segments.empty() ? 0 : segments[0].size(); }
};

class RecordStream {
  public:
    RecordStream(const std::vector<uint8_t>& data, size_t offset) : data_(data), pos_(offset) {}

    bool Next(Record& record) {
        if (pos_ >= data_.size()) return false;
        record.segments.clear();
        record.type = ReadHeader(record);
        while (pos_ + 4 <= data_.size() && Type(pos_) == kContinue) ReadHeader(record);
        return true;
    }

  private:
    uint16_t Type(size_t at) const {
        return static_cast<uint16_t>(data_[at] | (data_[at + 1] << 8));
    }
    uint16_t ReadHeader(Record& record) {
        if (pos_ + 4 > data_.size()) throw FileDamaged{"Datensatzkopf abgeschnitten"};
        uint16_t type = Type(pos_);
        size_t length = Type(pos_ + 2);
        if (pos_ + 4 + length > data_.size())
            throw FileDamaged{"Datensatz reicht über das Ende der Arbeitsmappe hinaus"};
        record.segments.emplace_back(data_.data() + pos_ + 4, length);
        pos_ += 4 + length;
        return type;
    }
    const std::vector<uint8_t>& data_;
    size_t pos_;
};

int CodePageOfBiff(uint16_t value) {
    switch (value) {
        case 0x8000:
            return 10000;  // Apple Roman
        case 0x8001:
            return 1252;  // Windows ANSI as BIFF2-4 wrote it
        case 367:
            return 1252;  // ASCII
        case 1200:
            return 1200;  // UTF-16, BIFF8
        default:
            return value;
    }
}

}  // namespace

XlsWorkbook::XlsWorkbook(const QString& path) : path_(path) { Open(Gsf::OpenFile(path).get()); }

XlsWorkbook::XlsWorkbook(const QByteArray& contents, const QString& name) : path_(name) {
    GPtr<GsfInput> input = Gsf::OpenBytes(contents);
    if (!input) Fail("leere Datei");
    Open(input.get());
}

void XlsWorkbook::Open(GsfInput* input) {
    GError* error = nullptr;
    GPtr<GsfInfile> container(gsf_infile_msole_new(input, &error));
    if (!container) {
        if (error) g_error_free(error);
        Fail("kein Verbunddokument");
    }
    GPtr<GsfInput> stream(gsf_infile_child_by_name(container.get(), "Workbook"));
    if (!stream) stream.reset(gsf_infile_child_by_name(container.get(), "Book"));
    if (!stream) Fail("keine Arbeitsmappe im Verbunddokument");
    gsf_off_t size = gsf_input_size(stream.get());
    // A stream is stored inside the file, so it cannot be larger than the file;
    // a damaged directory must not make us allocate what it claims.
    if (size <= 0 || size > kMaxStreamSize || size > gsf_input_size(input))
        Fail("ungültige Größe der Arbeitsmappe");
    stream_.resize(static_cast<size_t>(size));
    if (!gsf_input_read(stream.get(), static_cast<size_t>(size), stream_.data()))
        Fail("Arbeitsmappe unvollständig");

    try {
        ReadGlobals();
    } catch (const FileDamaged& damaged) {
        Fail(damaged.what);
    }
}

void XlsWorkbook::Fail(const QString& detail) const {
    throw RuntimeError::WorkbookDamaged(path_, detail);
}

void XlsWorkbook::ReadGlobals() {
    RecordStream records(stream_, 0);
    Record record;
    if (!records.Next(record) || record.type != kBof || record.Size() < 4)
        Fail("kein BIFF5- oder BIFF8-Anfang");
    {
        auto reader = record.Reader();
        uint16_t version = reader.U16();
        if (version == 0x0600)
            biff8_ = true;
        else if (version == 0x0500)
            biff8_ = false;
        else
            Fail("nicht unterstützte BIFF-Version");
    }
    std::unique_ptr<CodePageConverter> converter;
    auto codePage = [&]() -> CodePageConverter& {
        if (!converter) {
            if (!CodePageConverter::Exists(codePage_)) Fail("unbekannte Codepage");
            converter = std::make_unique<CodePageConverter>(codePage_);
        }
        return *converter;
    };
    while (records.Next(record)) {
        auto reader = record.Reader();
        switch (record.type) {
            case kEof:
                return;
            case kFilePass:
                Fail("die Arbeitsmappe ist verschlüsselt");
            case kCodePage:
                codePage_ = CodePageOfBiff(reader.U16());
                converter.reset();
                break;
            case kBoundSheet: {
                Sheet sheet;
                sheet.offset = reader.U32();
                reader.U8();  // visibility
                sheet.type = reader.U8();
                sheet.name =
                    biff8_ ? reader.Biff8String(false) : reader.Biff5String(false, codePage());
                sheets_.push_back(std::move(sheet));
                break;
            }
            case kSst:
                if (biff8_) sharedStrings_.Read(record.segments);
                break;
            default:
                break;
        }
    }
    Fail("Ende der Arbeitsmappen-Daten fehlt");
}

QStringList XlsWorkbook::SheetNames() const {
    QStringList names;
    for (const auto& sheet : sheets_) names.append(sheet.name);
    return names;
}

const XlsWorkbook::Sheet* XlsWorkbook::FindSheet(const QString& name) const {
    for (const auto& sheet : sheets_)
        if (sheet.type == 0 && sheet.name.compare(name, Qt::CaseInsensitive) == 0) return &sheet;
    return nullptr;
}

bool XlsWorkbook::HasSheet(const QString& name) const { return FindSheet(name) != nullptr; }

SourceTable XlsWorkbook::ReadSheet(const QString& name, bool header, SheetStream* stream) const {
    const Sheet* sheet = FindSheet(name);
    if (!sheet) throw RuntimeError::SheetNotFound(name, path_);
    // Excel 97-2003 has 256 columns; a cell beyond them is a damaged record.
    CellGrid grid(name, 256, uint64_t{65536} * 256, header);
    grid.StreamTo(stream);
    try {
        std::unique_ptr<CodePageConverter> converter;
        BiffCellDecoder decoder(biff8_, sharedStrings_, [&]() -> CodePageConverter& {
            if (!converter) converter = std::make_unique<CodePageConverter>(codePage_);
            return *converter;
        });
        RecordStream records(stream_, sheet->offset);
        Record record;
        if (!records.Next(record) || record.type != kBof) Fail("Tabellenblatt nicht gefunden");
        std::vector<BiffCellDecoder::Cell> cells;
        // Records between a nested BOF and its EOF (charts, embedded objects) hold no cells of the
        // sheet.
        for (int depth = 1; depth > 0 && records.Next(record);) {
            if (record.type == kBof || record.type == kEof) {
                depth += record.type == kBof ? 1 : -1;
                continue;
            }
            if (depth != 1) continue;
            cells.clear();
            decoder.Decode(record.type, record.Reader(), cells);
            for (auto& cell : cells) {
                if (cell.unreadable)
                    grid.SetUnreadable(cell.row, cell.col,
                                       RuntimeError::SourceDamaged(
                                           QStringLiteral("Arbeitsmappe"), path_,
                                           QStringLiteral("Tabelle %1, Zelle %2: %3")
                                               .arg(name, CellGrid::CellName(cell.row, cell.col),
                                                    QString::fromUtf8(cell.unreadable))));
                else
                    grid.Set(cell.row, cell.col, std::move(cell.value));
            }
        }
    } catch (const FileDamaged& damaged) {
        Fail(damaged.what);
    }
    try {
        return std::move(grid).Table(path_, name);
    } catch (const FileDamaged& damaged) {
        Fail(damaged.what);
    }
}
