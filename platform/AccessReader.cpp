#include "AccessReader.h"

#include "RuntimeError.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>
#include <cstring>

namespace AccessReader {
namespace {

int g_timeLimitMs = 60000;
constexpr rlim_t kMemoryLimit = rlim_t{1} << 30;  // address space of the reader
constexpr qint64 kMaxOutput = qint64{1} << 30;    // what the parent accepts

QString ReaderProgram() {
    // Tests put a misbehaving reader here.
    const QString chosen = qEnvironmentVariable("QUORVIN_ACCESS_READER");
    if (!chosen.isEmpty()) return chosen;
    // Beside the running program when installed, else where the build put it.
    if (QCoreApplication::instance()) {
        const QString beside =
            QCoreApplication::applicationDirPath() + QStringLiteral("/quorvin-access-reader");
        if (QFileInfo(beside).isExecutable()) return beside;
    }
    return QStringLiteral(ACCESS_READER_PATH);
}

[[noreturn]] void Damaged(const QString& path, const QString& detail) {
    throw RuntimeError::AccessDamaged(path, detail);
}

// The reader's own failure: what it found, named for the file and table asked for.
[[noreturn]] void ReaderFailed(int32_t number, const QString& detail, const QString& path,
                               const QString& table) {
    switch (number) {
        case ErrorNumber::UnrecognizedFormat:
            throw RuntimeError::UnrecognizedDatabase(path);
        case ErrorNumber::ObjectNotFound:
            throw RuntimeError::TableNotInFile(table, path);
        default:
            Damaged(path, detail);
    }
}

// Reads the record stream of the reader; every length is checked against what is left.
class StreamReader {
  public:
    StreamReader(const QByteArray& data, const QString& path) : data_(data), path_(path) {}

    bool AtEnd() const { return pos_ >= data_.size(); }
    void Need(qint64 count) {
        if (count < 0 || count > data_.size() - pos_)
            Damaged(path_, QStringLiteral("unvollständige Antwort des Leseprozesses"));
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

  private:
    const QByteArray& data_;
    QString path_;
    qint64 pos_ = 0;
};

SourceTable Parse(const QByteArray& output, const QString& path, const QString& tableName) {
    StreamReader in(output, path);
    if (!output.startsWith("QAR1")) {
        if (!output.isEmpty() && output[0] == 'E') {
            in.Byte();
            const int32_t number = in.Fixed<int32_t>();
            ReaderFailed(number, in.Text(), path, tableName);
        }
        Damaged(path, QStringLiteral("keine Antwort des Leseprozesses"));
    }
    in.Fixed<uint32_t>();  // the magic
    SourceTable table;
    table.fileName = path;
    const uint32_t columns = in.Fixed<uint32_t>();
    if (columns == 0 || columns > 4096) Damaged(path, QStringLiteral("ungültige Spaltenzahl"));
    for (uint32_t i = 0; i < columns; ++i) table.columns.append(in.Text());
    for (;;) {
        const uint8_t record = in.Byte();
        if (record == 'Z') {
            if (in.Fixed<uint64_t>() != table.rows.size() || !in.AtEnd())
                Damaged(path, QStringLiteral("Zeilenzahl stimmt nicht"));
            return table;
        }
        if (record == 'E') {
            const int32_t number = in.Fixed<int32_t>();
            ReaderFailed(number, in.Text(), path, tableName);
        }
        if (record != 'R') Damaged(path, QStringLiteral("unbekannter Datensatz des Leseprozesses"));
        std::vector<Variant> row;
        row.reserve(columns);
        for (uint32_t i = 0; i < columns; ++i) {
            switch (in.Byte()) {
                case 0:
                    row.emplace_back();
                    break;
                case 1:
                    row.emplace_back(in.Text());
                    break;
                case 2:
                    row.emplace_back(in.Fixed<double>());
                    break;
                default:
                    Damaged(path, QStringLiteral("unbekannter Zellentyp"));
            }
        }
        table.rows.push_back(std::move(row));
    }
}

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
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    while (reader.state() != QProcess::NotRunning) {
        const qint64 left = g_timeLimitMs - clock.elapsed();
        if (left <= 0) {
            reader.kill();
            reader.waitForFinished(5000);
            Damaged(path, QStringLiteral("der Leseprozess antwortet nicht"));
        }
        reader.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 1000)));
        output += reader.readAllStandardOutput();
        if (output.size() > kMaxOutput) {
            reader.kill();
            reader.waitForFinished(5000);
            Damaged(path, QStringLiteral("zu große Antwort des Leseprozesses"));
        }
    }
    output += reader.readAllStandardOutput();
    if (reader.exitStatus() == QProcess::CrashExit)
        Damaged(path, QStringLiteral("der Leseprozess ist abgestürzt"));
    SourceTable result = Parse(output, path, table);
    if (reader.exitCode() != 0)
        Damaged(path, QStringLiteral("der Leseprozess meldet einen Fehler"));
    result.tableName = table;
    return result;
}

}  // namespace AccessReader
