#include "ExportWriter.h"

#include "RuntimeError.h"

#include <QFileInfo>

#include <limits>

int64_t ExportWriter::MaxRows() const { return std::numeric_limits<int64_t>::max(); }

namespace {

// The writer for the file's extension, or nothing.
std::unique_ptr<ExportWriter> (*MakerFor(const QString& path))() {
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("xlsx")) return MakeXlsxWriter;
    if (extension == QLatin1String("xls")) return MakeXlsWriter;
    if (extension == QLatin1String("csv")) return MakeCsvWriter;
    return nullptr;
}

}  // namespace

std::unique_ptr<ExportWriter> ExportWriter::ForFile(const QString& path) {
    if (auto make = MakerFor(path)) return make();
    throw RuntimeError::UnknownExportKind(path);
}

bool ExportWriter::Writes(const QString& path) { return MakerFor(path) != nullptr; }
