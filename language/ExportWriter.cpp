#include "ExportWriter.h"

#include "RuntimeError.h"

#include <QFileInfo>

#include <limits>

int64_t ExportWriter::MaxRows() const { return std::numeric_limits<int64_t>::max(); }

std::unique_ptr<ExportWriter> ExportWriter::ForFile(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("xlsx")) return MakeXlsxWriter();
    if (extension == QLatin1String("xls")) return MakeXlsWriter();
    if (extension == QLatin1String("csv")) return MakeCsvWriter();
    throw RuntimeError::UnknownExportKind(path);
}
