#include "SourceRowFeed.h"

#include "SheetStream.h"
#include "SourceRows.h"
#include "Val.h"
#include "VectorRegisters.h"

#include <sqlite3.h>

#include <algorithm>
#include <optional>
#include <system_error>

namespace {

// A batch ends at so many rows or bytes of text, whichever comes first; so many
// batches are read ahead at most.
constexpr size_t kBatchRows = 1024;
constexpr size_t kBatchBytes = size_t{1} << 20;
constexpr size_t kBatches = 4;

}  // namespace

// Where the reading of a source table stands; made on the thread that reads.
class SourceRowFeed::Filler {
  public:
    Filler() = default;
    explicit Filler(const SourceRows& rows) : reader(rows) {}
    std::optional<SourceRows::Reader> reader;
    QByteArray text;  // a value's UTF-8, its memory kept for every row
};

SourceRowFeed::SourceRowFeed(sqlite3* database, sqlite3_stmt* select, bool ownThread,
                             const Conversion* convert)
    : database_(database),
      select_(select),
      convert_(convert && *convert ? convert : nullptr),
      ownThread_(ownThread) {}

SourceRowFeed::SourceRowFeed(const SourceRows& rows, size_t keyColumn, size_t valueColumn,
                             const Conversion* convert)
    : rows_(&rows),
      keyColumn_(keyColumn),
      valueColumn_(valueColumn),
      convert_(convert && *convert ? convert : nullptr) {}

SourceRowFeed::SourceRowFeed(SheetStream& sheet, size_t keyColumn, size_t valueColumn,
                             const Conversion* convert)
    : sheet_(&sheet),
      keyColumn_(keyColumn),
      valueColumn_(valueColumn),
      convert_(convert && *convert ? convert : nullptr) {}

SourceRowFeed::~SourceRowFeed() {
    if (sheet_) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        sheet_->Leave();  // once the reader's thread is out of Add()
        return;
    }
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void SourceRowFeed::Start() {
    started_ = true;
    for (size_t i = 0; i < kBatches; ++i) free_.push_back(std::make_unique<Batch>());
    if (sheet_) {
        filler_ = std::make_unique<Filler>();
        sheet_->Attach(this);
        return;
    }
    if (!ownThread_) return;
    try {
        thread_ = std::thread([this] {
            VectorRegisters::ClearUpperHalves();
            Produce();
        });
    } catch (const std::system_error&) {
        ownThread_ = false;  // no thread to be had: read as the rows are asked for
    }
}

void SourceRowFeed::Produce() {
    for (;;) {
        std::unique_ptr<Batch> batch = TakeFree();
        if (!batch) return;
        const bool more = Fill(*batch);
        Hand(std::move(batch));
        if (!more) return;
    }
}

namespace {

// Appends bytes to the batch's texts; gives where they begin.
size_t Append(std::string& bytes, const char* text, size_t size) {
    const size_t at = bytes.size();
    bytes.append(text, size);
    return at;
}

}  // namespace

void SourceRowFeed::Convert(Batch& batch, Stored& row) {
    if (!convert_ || row.keyIsNull || row.valueIsNull || row.valueSize == 0) return;
    QByteArray& text = conversion_;
    text.resize(static_cast<qsizetype>(row.valueSize));
    std::copy_n(batch.bytes.data() + row.value, row.valueSize, text.data());
    row.converted = true;
    try {
        (*convert_)(row.key, row.place, text);
    } catch (...) {
        batch.failures.push_back(std::current_exception());
        row.failure = batch.failures.size();
        return;
    }
    row.convertedSize = static_cast<size_t>(text.size());
    if (std::string_view(text.constData(), row.convertedSize) ==
        std::string_view(batch.bytes.data() + row.value, row.valueSize))
        row.convertedValue = row.value;
    else
        row.convertedValue = Append(batch.bytes, text.constData(), row.convertedSize);
}

namespace {

// A written ID; its key is worked out here unless the reader knows it.
void SetId(std::string& bytes, SourceRowFeed::IdKind& kind, double& key, size_t& at, uint32_t& size,
           const char* text, int length, bool keyKnown) {
    double number = 0;
    if (ValOfPlainDigits(text, length, number)) {
        kind = SourceRowFeed::IdKind::Digits;
        if (!keyKnown) key = number;
    } else {
        kind = SourceRowFeed::IdKind::Text;
        if (!keyKnown) key = Val(QString::fromUtf8(text, length));
    }
    size = static_cast<uint32_t>(length);
    at = Append(bytes, text, static_cast<size_t>(length));
}

}  // namespace

bool SourceRowFeed::ReadSelected(Batch& batch, Stored& row) {
    const int rc = sqlite3_step(select_);
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) {
            batch.rc = rc;
            batch.message = QString::fromUtf8(sqlite3_errmsg(database_));
        }
        return false;
    }
    ++read_;
    row.place =
        sqlite3_column_type(select_, 2) == SQLITE_NULL ? read_ : sqlite3_column_int64(select_, 2);
    switch (sqlite3_column_type(select_, 0)) {
        case SQLITE_NULL:
            row.keyIsNull = true;
            break;
        case SQLITE_INTEGER:
            row.key = static_cast<double>(sqlite3_column_int64(select_, 0));
            break;
        case SQLITE_FLOAT:
            row.key = sqlite3_column_double(select_, 0);
            break;
        default:
            SetId(batch.bytes, row.idKind, row.key, row.id, row.idSize,
                  reinterpret_cast<const char*>(sqlite3_column_text(select_, 0)),
                  sqlite3_column_bytes(select_, 0), false);
            break;
    }
    switch (sqlite3_column_type(select_, 1)) {
        case SQLITE_NULL:
            row.valueIsNull = true;
            break;
        case SQLITE_FLOAT: {
            const QByteArray text = ShortestDecimal(sqlite3_column_double(select_, 1)).toLatin1();
            row.valueSize = static_cast<size_t>(text.size());
            row.value = Append(batch.bytes, text.constData(), row.valueSize);
            break;
        }
        default:  // integers and texts as their text, integers in their shortest form
            row.valueSize = static_cast<size_t>(sqlite3_column_bytes(select_, 1));
            row.value =
                Append(batch.bytes, reinterpret_cast<const char*>(sqlite3_column_text(select_, 1)),
                       row.valueSize);
            break;
    }
    return true;
}

void SourceRowFeed::ReadCells(Batch& batch, Stored& row, const Variant& id, const Variant& value) {
    row.keyIsNull = id.IsNull();
    if (!row.keyIsNull) row.key = id.ToNumber();
    if (id.IsText()) {
        const QByteArray& utf8 = id.ToUtf8(filler_->text);
        SetId(batch.bytes, row.idKind, row.key, row.id, row.idSize, utf8.constData(),
              static_cast<int>(utf8.size()), true);
    }
    row.valueIsNull = value.IsNull();
    if (!row.valueIsNull) {
        const QByteArray& utf8 = value.ToUtf8(filler_->text);
        row.valueSize = static_cast<size_t>(utf8.size());
        row.value = Append(batch.bytes, utf8.constData(), row.valueSize);
    }
}

bool SourceRowFeed::ReadStored(Batch& batch, Stored& row) {
    if (!filler_) filler_ = std::make_unique<Filler>(*rows_);
    SourceRows::Reader& reader = *filler_->reader;
    if (!reader.Next()) return false;
    row.place = ++read_;
    ReadCells(batch, row, reader.Cell(keyColumn_), reader.Cell(valueColumn_));
    return true;
}

void SourceRowFeed::Clear(Batch& batch) {
    batch.rows.clear();
    batch.bytes.clear();
    batch.failures.clear();
    batch.abandoned = false;
    batch.last = false;
    batch.rc = 0;
    batch.failure = nullptr;
    batch.converted = false;
}

void SourceRowFeed::Add(const SheetStream::Cells& cells) {
    static const Variant kNull;
    if (!pushed_) {
        pushed_ = TakeFree();
        if (!pushed_) return;  // the statement is done with the rows
        Clear(*pushed_);
    }
    Stored row;
    row.place = ++read_;
    ReadCells(*pushed_, row, keyColumn_ < cells.size() ? cells[keyColumn_] : kNull,
              valueColumn_ < cells.size() ? cells[valueColumn_] : kNull);
    pushed_->rows.push_back(row);
    if (pushed_->rows.size() >= kBatchRows || pushed_->bytes.size() >= kBatchBytes)
        Hand(std::move(pushed_));
}

void SourceRowFeed::End(std::exception_ptr failure, bool abandoned) {
    std::unique_ptr<Batch> batch = std::move(pushed_);
    if (!batch) {
        batch = TakeFree();
        if (!batch) return;
        Clear(*batch);
    }
    batch->last = true;
    batch->failure = failure;
    batch->abandoned = abandoned;
    Hand(std::move(batch));
}

bool SourceRowFeed::Fill(Batch& batch) {
    Clear(batch);
    try {
        while (batch.rows.size() < kBatchRows && batch.bytes.size() < kBatchBytes) {
            Stored row;
            if (!(select_ ? ReadSelected(batch, row) : ReadStored(batch, row))) {
                batch.last = true;
                return false;
            }
            batch.rows.push_back(row);
        }
    } catch (...) {
        batch.last = true;
        batch.failure = std::current_exception();
        return false;
    }
    return true;
}

std::unique_ptr<SourceRowFeed::Batch> SourceRowFeed::TakeFree() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || !free_.empty(); });
    if (stop_) return nullptr;
    std::unique_ptr<Batch> batch = std::move(free_.front());
    free_.pop_front();
    return batch;
}

void SourceRowFeed::ConvertRows(Batch& batch) {
    batch.converted = true;
    if (!convert_) return;
    for (Stored& row : batch.rows) Convert(batch, row);
}

// Whichever thread has time converts. A statement waiting for rows shows the
// reading thread to be the busier one: its batch goes on unconverted and the
// statement's thread converts it as it takes it. Otherwise the reading thread
// converts, once the statement converted what it was handed: the rows are
// converted in their order, by one thread at a time.
void SourceRowFeed::Hand(std::unique_ptr<Batch> batch) {
    if (!convert_) batch->converted = true;
    bool convertHere = false;
    if (!batch->converted) {
        std::unique_lock lock(mutex_);
        convertHere = !statementWaits_;
        if (convertHere)
            changed_.wait(lock, [this] { return unconverted_ == 0 || stop_; });
        else
            ++unconverted_;
    }
    if (convertHere) ConvertRows(*batch);
    {
        std::lock_guard lock(mutex_);
        full_.push_back(std::move(batch));
    }
    changed_.notify_all();
}

std::unique_ptr<SourceRowFeed::Batch> SourceRowFeed::TakeFull() {
    std::unique_lock lock(mutex_);
    statementWaits_ = full_.empty();
    changed_.wait(lock, [this] { return !full_.empty(); });
    statementWaits_ = false;
    std::unique_ptr<Batch> batch = std::move(full_.front());
    full_.pop_front();
    return batch;
}

const SourceRowFeed::Row* SourceRowFeed::Next() {
    if (!started_) Start();
    while (!current_ || next_ >= current_->rows.size()) {
        if (ended_) return nullptr;
        if (current_ && current_->last) {
            ended_ = true;
            rc_ = current_->rc;
            abandoned_ = current_->abandoned;
            message_ = current_->message;
            failure_ = current_->failure;
            return nullptr;
        }
        if (!ownThread_ && !sheet_) {
            if (!current_) current_ = std::make_unique<Batch>();
            current_->last = !Fill(*current_);
            ConvertRows(*current_);
        } else {
            if (current_) {
                {
                    std::lock_guard lock(mutex_);
                    free_.push_back(std::move(current_));
                }
                changed_.notify_all();
            }
            current_ = TakeFull();
            if (!current_->converted) {
                ConvertRows(*current_);
                {
                    std::lock_guard lock(mutex_);
                    --unconverted_;
                }
                changed_.notify_all();
            }
        }
        next_ = 0;
    }
    const Stored& row = current_->rows[next_++];
    const char* bytes = current_->bytes.data();
    shown_.place = row.place;
    shown_.key = row.key;
    shown_.keyIsNull = row.keyIsNull;
    shown_.valueIsNull = row.valueIsNull;
    shown_.idKind = row.idKind;
    shown_.id = row.idKind == IdKind::Number ? std::string_view{}
                                             : std::string_view(bytes + row.id, row.idSize);
    shown_.value = std::string_view(bytes + row.value, row.valueSize);
    shown_.converted = row.converted;
    shown_.convertedValue = std::string_view(bytes + row.convertedValue, row.convertedSize);
    shown_.conversionFailure = row.failure ? current_->failures[row.failure - 1] : nullptr;
    return &shown_;
}
