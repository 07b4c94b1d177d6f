#pragma once

#include "SheetStream.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class SourceRows;
class Variant;
struct sqlite3;
struct sqlite3_stmt;

// Reads the rows of an import's source ahead of the statement that uses them, on
// a thread of its own, so that reading the source (a table of another database
// file, or the rows a workbook or text file gave) and writing the project take
// a core each. The rows come in batches of a bounded size, a few batches ahead
// at most: memory does not grow with the source. A row handed out stays valid
// until the next one is asked for.
//
// Each row is what the statement is shown: its place in the source, its key (Val()
// of the ID), how the ID is written and the value as UTF-8 text (numbers in their
// shortest form). With a conversion, the value is converted too: of every row
// with a key and a text, in the order of the rows, a batch at a time on the
// reading thread or the statement's, whichever has time (see Hand()).
class SourceRowFeed : private SheetStream::Sink {
  public:
    // Turns a non-empty text (UTF-8) into the text the target gets, in place;
    // key is the row's Val(), place its place in the source.
    using Conversion = std::function<void(double key, int64_t place, QByteArray& text)>;

    enum class IdKind : uint8_t {
        Number,  // a number cell or column
        Digits,  // a text of plain digits, fewer than 16 (its key is its number)
        Text,    // any other text
    };
    struct Row {
        int64_t place = 0;  // from 1
        double key = 0;
        bool keyIsNull = false;
        bool valueIsNull = false;
        IdKind idKind = IdKind::Number;
        std::string_view id;     // the ID's UTF-8 text for Digits and Text
        std::string_view value;  // UTF-8, empty for Null
        // The value converted, when the feed converts and the row has a key and a
        // text; what the conversion threw instead.
        bool converted = false;
        std::string_view convertedValue;
        std::exception_ptr conversionFailure;
    };

    // The rows of the statement (key, value, place; a Null place is numbered as
    // read), a query on database. The statement is stepped on the feed's thread
    // only, from the first call of Next() until the feed is destroyed; nothing else
    // may use database meanwhile. With ownThread false it is stepped by Next()
    // itself (a source in the database the statement runs on).
    SourceRowFeed(sqlite3* database, sqlite3_stmt* select, bool ownThread,
                  const Conversion* convert);
    // The rows of a source table, its key and value columns.
    SourceRowFeed(const SourceRows& rows, size_t keyColumn, size_t valueColumn,
                  const Conversion* convert);
    // The rows of a sheet as its reader streams them, its key and value columns
    // in the sheet: read on the reader's thread.
    SourceRowFeed(SheetStream& sheet, size_t keyColumn, size_t valueColumn,
                  const Conversion* convert);
    // Stops reading and waits for the feed's thread.
    ~SourceRowFeed();
    SourceRowFeed(const SourceRowFeed&) = delete;
    SourceRowFeed& operator=(const SourceRowFeed&) = delete;

    // The next row; null at the end and when reading failed (see Failed()).
    const Row* Next();

    // Why reading stopped before the end: SQLite's result code and message, or what
    // the reading threw.
    bool Failed() const { return rc_ != 0 || failure_; }
    // The sheet's reader could not give its rows in their order after all: the
    // rows given are void, and the whole table is to be read instead.
    bool Abandoned() const { return abandoned_; }
    int ResultCode() const { return rc_; }
    const QString& Message() const { return message_; }
    std::exception_ptr Failure() const { return failure_; }

  private:
    // A row as its batch keeps it: its texts as places in the batch's bytes.
    struct Stored {
        int64_t place = 0;
        double key = 0;
        bool keyIsNull = false;
        bool valueIsNull = false;
        IdKind idKind = IdKind::Number;
        bool converted = false;
        uint32_t idSize = 0;
        size_t id = 0, value = 0, valueSize = 0;
        size_t convertedValue = 0, convertedSize = 0;
        size_t failure = 0;  // from 1 in the batch's failures
    };
    struct Batch {
        std::vector<Stored> rows;
        std::string bytes;                         // the texts of the rows
        std::vector<std::exception_ptr> failures;  // of conversions
        bool last = false;                         // nothing follows: the end, or a failure
        bool converted = false;                    // its rows are (see Hand())
        int rc = 0;
        bool abandoned = false;
        QString message;
        std::exception_ptr failure;
    };
    class Filler;

    void Start();
    void Produce();
    // Fills batch with the next rows; false when it is the last.
    bool Fill(Batch& batch);
    // Read the next row into row, its texts into batch; false at the end or on an error.
    bool ReadSelected(Batch& batch, Stored& row);
    bool ReadStored(Batch& batch, Stored& row);
    // The sheet's reader hands its rows.
    void Add(const SheetStream::Cells& cells) override;
    void End(std::exception_ptr failure, bool abandoned) override;
    static void Clear(Batch& batch);
    // A row's key and value from its cells.
    void ReadCells(Batch& batch, Stored& row, const Variant& id, const Variant& value);
    void Convert(Batch& batch, Stored& row);
    void ConvertRows(Batch& batch);
    std::unique_ptr<Batch> TakeFree();
    void Hand(std::unique_ptr<Batch> batch);
    std::unique_ptr<Batch> TakeFull();

    sqlite3* database_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
    const SourceRows* rows_ = nullptr;
    SheetStream* sheet_ = nullptr;
    std::unique_ptr<Batch> pushed_;  // the batch the sheet's reader fills
    size_t keyColumn_ = 0, valueColumn_ = 0;
    const Conversion* convert_ = nullptr;
    std::unique_ptr<Filler> filler_;  // the reading position, used by one thread only
    QByteArray conversion_;           // a value being converted, its memory kept
    int64_t read_ = 0;                // the rows read, for places not given
    bool ownThread_ = true;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Batch>> full_, free_;
    int unconverted_ = 0;          // batches handed on that the statement's thread converts
    bool statementWaits_ = false;  // for rows, in TakeFull()
    bool stop_ = false;
    std::thread thread_;

    std::unique_ptr<Batch> current_;
    size_t next_ = 0;
    Row shown_;
    bool started_ = false, ended_ = false;
    int rc_ = 0;
    bool abandoned_ = false;
    QString message_;
    std::exception_ptr failure_;
};
