#include "AccessReader.h"

#include "AccessStream.h"
#include "RuntimeError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>
#include <cstring>

namespace AccessReader {
namespace {

static_assert(AccessStream::kNotAccess == ErrorNumber::UnrecognizedFormat &&
              AccessStream::kNoSuchTable == ErrorNumber::ObjectNotFound &&
              AccessStream::kDamaged == ErrorNumber::Corrupt);

int g_timeLimitMs = 60000;
constexpr rlim_t kMemoryLimit = rlim_t{1} << 30;  // address space of the reader
constexpr qint64 kMaxOutput = qint64{1} << 30;    // what the parent accepts

// The helper: where the running program's installation keeps it (the build tree
// is laid out the same), found from the program's own place, so that an
// installed tree works wherever it was put.
QString ReaderProgram() {
    // Tests put a misbehaving reader here.
    const QString chosen = qEnvironmentVariable("QUORVIN_ACCESS_READER");
    if (!chosen.isEmpty()) return chosen;
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QDir::cleanPath(QFileInfo(program).absolutePath() + QLatin1Char('/') +
                           QStringLiteral(ACCESS_READER_FROM_BIN) +
                           QStringLiteral("/quorvin-access-reader"));
}

[[noreturn]] void Damaged(const QString& path, const QString& detail) {
    throw RuntimeError::AccessDamaged(path, detail);
}

// The reader's own failure: what it found, named for the file and table asked for.
[[noreturn]] void ReaderFailed(int32_t number, const QString& detail, const QString& path,
                               const QString& table) {
    switch (number) {
        case AccessStream::kNotAccess:
            throw RuntimeError::UnrecognizedDatabase(path);
        case AccessStream::kNoSuchTable:
            throw RuntimeError::TableNotInFile(table, path);
        default:
            Damaged(path, detail);
    }
}

// Reads the record stream of the reader as it arrives, record by record, while
// the reader still writes; every length is checked against what is there.
class StreamParser {
  public:
    StreamParser(const QString& path, const QString& tableName)
        : path_(path), tableName_(tableName) {
        table_.fileName = path;
    }

    // Takes more of the stream and reads the records it completes.
    void Feed(const QByteArray& bytes) {
        received_ += bytes.size();
        if (received_ > kMaxOutput)
            Damaged(path_, QStringLiteral("zu große Antwort des Leseprozesses"));
        data_ += bytes;
        ParseWhole(false);
        // What is read goes, so that the stream is never held whole.
        if (pos_ > (qint64{1} << 20)) {
            data_.remove(0, pos_);
            pos_ = 0;
        }
    }

    // The reader has ended: the stream must end with its last record.
    SourceTable Finish() {
        ParseWhole(true);
        if (!ended_) Damaged(path_, QStringLiteral("unvollständige Antwort des Leseprozesses"));
        return std::move(table_);
    }

  private:
    struct NeedMore {};

    void ParseWhole(bool final) {
        final_ = final;
        while (!ended_) {
            const qint64 start = pos_;
            try {
                if (columns_ == 0)
                    ParseHeader();
                else
                    ParseRecord();
            } catch (const NeedMore&) {
                pos_ = start;
                return;
            }
        }
        if (pos_ < data_.size()) Damaged(path_, QStringLiteral("Zeilenzahl stimmt nicht"));
    }

    void Need(qint64 count) {
        if (count < 0 || count > kMaxOutput)
            Damaged(path_, QStringLiteral("unvollständige Antwort des Leseprozesses"));
        if (count > data_.size() - pos_) {
            if (!final_) throw NeedMore{};
            if (columns_ == 0 && (data_.isEmpty() || data_[0] != AccessStream::kFailure) &&
                !data_.startsWith(QByteArrayView(AccessStream::kMagic, 4)))
                Damaged(path_, QStringLiteral("keine Antwort des Leseprozesses"));
            Damaged(path_, QStringLiteral("unvollständige Antwort des Leseprozesses"));
        }
    }
    uint8_t Byte() {
        Need(1);
        return static_cast<uint8_t>(data_[pos_++]);
    }
    template <typename T>
    T Fixed() {
        Need(sizeof(T));
        T value;
        std::memcpy(&value, data_.constData() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }
    QString Text() {
        const uint32_t length = Fixed<uint32_t>();
        Need(length);
        QString text = QString::fromUtf8(data_.constData() + pos_, static_cast<qsizetype>(length));
        pos_ += length;
        return text;
    }

    void ParseHeader() {
        Need(4);
        if (data_[pos_] == AccessStream::kFailure) {
            Byte();
            const int32_t number = Fixed<int32_t>();
            ReaderFailed(number, Text(), path_, tableName_);
        }
        if (std::memcmp(data_.constData() + pos_, AccessStream::kMagic, 4) != 0)
            Damaged(path_, QStringLiteral("keine Antwort des Leseprozesses"));
        pos_ += 4;
        const uint32_t columns = Fixed<uint32_t>();
        if (columns == 0 || columns > 4096) Damaged(path_, QStringLiteral("ungültige Spaltenzahl"));
        QStringList names;
        for (uint32_t i = 0; i < columns; ++i) names.append(Text());
        table_.columns = names;
        columns_ = columns;
    }

    void ParseRecord() {
        const uint8_t record = Byte();
        if (record == AccessStream::kEnd) {
            if (Fixed<uint64_t>() != table_.rows.size())
                Damaged(path_, QStringLiteral("Zeilenzahl stimmt nicht"));
            ended_ = true;
            return;
        }
        if (record == AccessStream::kFailure) {
            const int32_t number = Fixed<int32_t>();
            ReaderFailed(number, Text(), path_, tableName_);
        }
        if (record != AccessStream::kRow)
            Damaged(path_, QStringLiteral("unbekannter Datensatz des Leseprozesses"));
        std::vector<Variant> row;
        row.reserve(columns_);
        for (uint32_t i = 0; i < columns_; ++i) {
            switch (Byte()) {
                case AccessStream::kNull:
                    row.emplace_back();
                    break;
                case AccessStream::kText:
                    row.emplace_back(Text());
                    break;
                case AccessStream::kNumber:
                    row.emplace_back(Fixed<double>());
                    break;
                default:
                    Damaged(path_, QStringLiteral("unbekannter Zellentyp"));
            }
        }
        table_.rows.push_back(std::move(row));
    }

    QString path_;
    QString tableName_;
    QByteArray data_;
    qint64 pos_ = 0;
    qint64 received_ = 0;
    bool final_ = false;
    bool ended_ = false;
    uint32_t columns_ = 0;  // 0 until the header is read
    SourceTable table_;
};

}  // namespace

void SetTimeLimit(int milliseconds) { g_timeLimitMs = milliseconds; }

SourceTable ReadTable(const QString& path, const QString& table) {
    QProcess reader;
    reader.setProgram(ReaderProgram());
    reader.setArguments({path, table});
    // What libmdb prints about damaged files is not for the user.
    reader.setStandardErrorFile(QProcess::nullDevice());
    reader.setChildProcessModifier([] {
        const rlimit memory{kMemoryLimit, kMemoryLimit};
        setrlimit(RLIMIT_AS, &memory);
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
    });
    reader.start(QIODevice::ReadOnly);
    if (!reader.waitForStarted(10000)) throw RuntimeError::AccessReaderNotStarted(reader.program());
    StreamParser stream(path, table);
    QElapsedTimer clock;
    clock.start();
    const auto kill = [&] {
        reader.kill();
        reader.waitForFinished(5000);
    };
    while (reader.state() != QProcess::NotRunning) {
        const qint64 left = g_timeLimitMs - clock.elapsed();
        if (left <= 0) {
            kill();
            Damaged(path, QStringLiteral("der Leseprozess antwortet nicht"));
        }
        reader.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 1000)));
        try {
            stream.Feed(reader.readAllStandardOutput());
        } catch (...) {
            kill();
            throw;
        }
    }
    stream.Feed(reader.readAllStandardOutput());
    if (reader.exitStatus() == QProcess::CrashExit)
        Damaged(path, QStringLiteral("der Leseprozess ist abgestürzt"));
    SourceTable result = stream.Finish();
    if (reader.exitCode() != 0)
        Damaged(path, QStringLiteral("der Leseprozess meldet einen Fehler"));
    result.tableName = table;
    return result;
}

}  // namespace AccessReader
