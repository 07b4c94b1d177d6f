#include "CellText.h"
#include "CsvFile.h"
#include "ExportWriter.h"
#include "RuntimeError.h"
#include "Variant.h"

#include <QFile>

namespace {

// UTF-8 with a byte-order mark, so that Excel reads the characters right;
// comma-separated, quoted as RFC 4180 says.
class CsvExportWriter : public ExportWriter {
  public:
    void Begin(const QString& path, const QString& name, const Layout& layout) override {
        const std::vector<Column>& columns = layout.columns;
        path_ = path;
        name_ = name;
        file_.setFileName(path);
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw RuntimeError::NotWritable(name);
        std::vector<CsvFile::Field> names;
        for (const auto& column : columns) names.push_back({column.name});
        Write(CsvFile::kUtf8Bom + CsvFile::Row(names));
    }

    void Row(double id, const std::vector<std::optional<QString>>& texts) override {
        fields_.clear();
        fields_.push_back({ShortestDecimal(id)});
        for (const auto& text : texts) {
            // The import reads no longer text from a text file: it would not come back.
            if (text && text->size() > kMaxCellCharacters)
                throw RuntimeError::TextTooLongForWorkbook(name_, ShortestDecimal(id));
            fields_.push_back(text ? CsvFile::Field{*text} : CsvFile::Field{{}, true});
        }
        Write(CsvFile::Row(fields_));
    }

    void Finish() override {
        if (!file_.flush()) Fail();
        file_.close();
    }

  private:
    void Write(const QByteArray& bytes) {
        if (file_.write(bytes) != bytes.size()) Fail();
    }
    [[noreturn]] void Fail() { throw RuntimeError::ExportNotWritten(name_, file_.errorString()); }

    QString path_;
    QString name_;  // the file as the user named it
    QFile file_;
    std::vector<CsvFile::Field> fields_;
};

}  // namespace

std::unique_ptr<ExportWriter> MakeCsvWriter() { return std::make_unique<CsvExportWriter>(); }
