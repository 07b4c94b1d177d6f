#include "ExportWriter.h"
#include "RuntimeError.h"
#include "Variant.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <xlsxwriter.h>

namespace {

// OOXML reads "_xHHHH_" in a text as the character HHHH; a text that holds such
// a sequence itself keeps it by escaping its underscore as "_x005F_".
QString EscapeUnderscores(const QString& text) {
    static const QRegularExpression escape(QStringLiteral("_(?=x[0-9A-Fa-f]{4}_)"));
    if (!text.contains(QLatin1String("_x"))) return text;
    return QString(text).replace(escape, QStringLiteral("_x005F_"));
}

// An .xlsx workbook written with libxlsxwriter in its constant-memory mode: the
// rows go to a temporary file as they come, whatever the number of texts.
class XlsxExportWriter : public ExportWriter {
  public:
    ~XlsxExportWriter() override {
        // A workbook that was not finished is closed all the same, to free it; the
        // caller deletes the file.
        if (workbook_) workbook_close(workbook_);
    }

    int64_t MaxRows() const override { return LXW_ROW_MAX - 1; }

    void Begin(const QString& path, const QString& name, const Layout& layout) override {
        const std::vector<Column>& columns = layout.columns;
        path_ = path;
        name_ = name;
        const QByteArray file = QFile::encodeName(path);
        const QByteArray scratch = QFile::encodeName(scratch_.path());
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = scratch_.isValid() ? const_cast<char*>(scratch.constData()) : nullptr;
        options.use_zip64 = LXW_TRUE;
        workbook_ = workbook_new_opt(file.constData(), &options);
        if (!workbook_) throw RuntimeError::NotWritable(name);
        sheet_ = workbook_add_worksheet(workbook_, "TidxTexts");
        header_ = workbook_add_format(workbook_);
        format_set_bold(header_);
        format_set_bottom(header_, LXW_BORDER_THIN);
        text_ = workbook_add_format(workbook_);
        format_set_num_format(text_, "@");  // text: what a translator types stays text
        format_set_text_wrap(text_);
        format_set_align(text_, LXW_ALIGN_VERTICAL_TOP);
        reference_ = workbook_add_format(workbook_);
        format_set_num_format(reference_, "@");
        format_set_text_wrap(reference_);
        format_set_align(reference_, LXW_ALIGN_VERTICAL_TOP);
        format_set_italic(reference_);
        format_set_font_color(reference_, LXW_COLOR_GRAY);
        format_set_bg_color(reference_, 0xF2F2F2);
        number_ = workbook_add_format(workbook_);
        format_set_align(number_, LXW_ALIGN_VERTICAL_TOP);
        styles_.clear();
        for (lxw_col_t c = 0; c < columns.size(); ++c) {
            const Column& column = columns[c];
            lxw_format* style = c == 0 ? number_ : column.reference ? reference_ : text_;
            styles_.push_back(style);
            Check(worksheet_set_column(sheet_, c, c, column.width, style));
            const QByteArray heading = column.name.toUtf8();
            Check(worksheet_write_string(sheet_, 0, c, heading.constData(), header_));
            if (column.reference)
                Check(worksheet_write_comment(sheet_, 0, c,
                                              "Nur zum Lesen: diese Spalte nicht übersetzen."));
        }
        worksheet_freeze_panes(sheet_, 1, 0);
        row_ = 1;
    }

    void Row(double id, const std::vector<std::optional<QString>>& texts) override {
        id_ = id;
        Check(worksheet_write_number(sheet_, row_, 0, id, number_));
        for (lxw_col_t c = 0; c < texts.size(); ++c) {
            const auto& text = texts[c];
            // Null and the empty text are an empty cell: a formula ="" (the one way
            // to write "" apart from Null) comes back from spreadsheets as 0 or Null.
            if (!text || text->isEmpty()) continue;
            const QByteArray bytes = EscapeUnderscores(*text).toUtf8();
            Check(worksheet_write_string(sheet_, row_, c + 1, bytes.constData(), styles_[c + 1]));
        }
        ++row_;
    }

    void Finish() override {
        lxw_workbook* workbook = workbook_;
        workbook_ = nullptr;
        const lxw_error error = workbook_close(workbook);
        if (error != LXW_NO_ERROR)
            throw RuntimeError::ExportNotWritten(name_, QString::fromUtf8(lxw_strerror(error)));
    }

  private:
    void Check(lxw_error error) {
        if (error == LXW_NO_ERROR) return;
        if (error == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
            throw RuntimeError::TextTooLongForWorkbook(name_, ShortestDecimal(id_));
        throw RuntimeError::ExportNotWritten(name_, QString::fromUtf8(lxw_strerror(error)));
    }

    QString path_;
    QString name_;  // the file as the user named it
    QTemporaryDir scratch_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format *header_ = nullptr, *text_ = nullptr, *reference_ = nullptr, *number_ = nullptr;
    std::vector<lxw_format*> styles_;
    lxw_row_t row_ = 0;
    double id_ = 0;
};

}  // namespace

std::unique_ptr<ExportWriter> MakeXlsxWriter() { return std::make_unique<XlsxExportWriter>(); }
