#include "SheetReading.h"
#include "VectorRegisters.h"

SheetReading::SheetReading(const SourceFormats::Format& format, const QString& path,
                           const QString& table, SourceFormats::ReadOptions options) {
    options.stream = &stream_;
    thread_ = std::thread([this, read = format.read, path, table, options] {
        VectorRegisters::ClearUpperHalves();
        try {
            table_ = read(path, table, options);
        } catch (...) {
            failure_ = std::current_exception();
        }
        stream_.Finish(failure_);
    });
    header_ = stream_.Header();
    if (!header_) Table();
}

SheetReading::~SheetReading() {
    if (!thread_.joinable()) return;
    stream_.Cancel();
    thread_.join();
}

const SourceTable& SheetReading::Table() {
    if (thread_.joinable()) {
        stream_.Leave();
        thread_.join();
    }
    if (failure_) std::rethrow_exception(failure_);
    return *table_;
}

SourceTable SheetReading::Take() {
    Table();
    return *std::move(table_);
}
