#include "TestSupport.h"

#include "RuntimeError.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>
#include <stdexcept>

void PrintTo(const Variant& value, std::ostream* out) {
    if (value.IsNull())
        *out << "Null";
    else if (value.IsNumber())
        *out << value.Number();
    else
        *out << '"' << value.ToText().toStdString() << '"';
}

QString TestData(const QString& relativePath) {
    return QStringLiteral(TEST_DATA_DIR "/") + relativePath;
}

namespace {

// Every test process keeps its undo store in a folder of its own, never in the
// user's, and no two tests running at once share one. Processes the tests start
// inherit it.
struct StateFolder {
    QTemporaryDir dir;
    StateFolder() { qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path())); }
};
const StateFolder stateFolder;

}  // namespace

QString TestStateFolder() { return stateFolder.dir.path(); }

TempFolder::TempFolder() {
    if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
}

QString TempFolder::Path(const QString& name) const { return dir_.filePath(name); }

QString TempFolder::Copy(const QString& relativePath, const QString& asName) const {
    QString target = Path(asName.isEmpty() ? QFileInfo(relativePath).fileName() : asName);
    QFile::remove(target);
    if (!QFile::copy(TestData(relativePath), target)) throw std::runtime_error("copy failed");
    QFile::setPermissions(
        target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

namespace {

struct Db {
    sqlite3* db = nullptr;
    explicit Db(const QString& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open test database");
    }
    ~Db() { sqlite3_close(db); }
    void Exec(const QString& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = error ? error : "sql failed";
            sqlite3_free(error);
            throw std::runtime_error(message);
        }
    }
};

void Bind(sqlite3_stmt* stmt, int index, const Variant& value) {
    if (value.IsNull())
        sqlite3_bind_null(stmt, index);
    else if (value.IsNumber())
        sqlite3_bind_double(stmt, index, value.Number());
    else {
        QByteArray text = value.ToText().toUtf8();
        sqlite3_bind_text(stmt, index, text.constData(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
}

}  // namespace

void WriteProject(const QString& path, const std::vector<ProjectRow>& rows) {
    Db db(path);
    db.Exec(QStringLiteral(
        "CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, L1033 TEXT, L1049 TEXT);"
        "BEGIN"));
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db.db, "INSERT INTO TidxTexts VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
    for (const auto& row : rows) {
        sqlite3_bind_int64(insert, 1, row.id);
        Bind(insert, 2, row.l1031);
        Bind(insert, 3, row.l1033);
        Bind(insert, 4, row.l1049);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    db.Exec(QStringLiteral("COMMIT"));
}

std::map<int64_t, Variant> ReadColumn(const QString& path, const QString& column) {
    Db db(path, SQLITE_OPEN_READONLY);
    sqlite3_stmt* select = nullptr;
    QByteArray sql = QStringLiteral("SELECT ID, \"%1\" FROM TidxTexts").arg(column).toUtf8();
    if (sqlite3_prepare_v2(db.db, sql.constData(), -1, &select, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.db));
    std::map<int64_t, Variant> values;
    while (sqlite3_step(select) == SQLITE_ROW) {
        int64_t id = sqlite3_column_int64(select, 0);
        switch (sqlite3_column_type(select, 1)) {
            case SQLITE_NULL:
                values[id] = Variant();
                break;
            case SQLITE_TEXT:
                values[id] =
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select, 1)),
                                      sqlite3_column_bytes(select, 1));
                break;
            default:
                values[id] = sqlite3_column_double(select, 1);
                break;
        }
    }
    sqlite3_finalize(select);
    return values;
}

void RunSql(const QString& path, const QString& sql) { Db(path).Exec(sql); }

std::vector<QString> TableNames(const QString& path) {
    Db db(path, SQLITE_OPEN_READONLY);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db.db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name",
                       -1, &select, nullptr);
    std::vector<QString> names;
    while (sqlite3_step(select) == SQLITE_ROW)
        names.push_back(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select, 0))));
    sqlite3_finalize(select);
    return names;
}

QString IntegrityCheck(const QString& path) {
    Db db(path, SQLITE_OPEN_READWRITE);
    sqlite3_stmt* check = nullptr;
    QString result = QStringLiteral("cannot check");
    if (sqlite3_prepare_v2(db.db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK &&
        sqlite3_step(check) == SQLITE_ROW)
        result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
    sqlite3_finalize(check);
    return result;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

MessageRecorder::MessageRecorder()
    : previous_(MessageBox::SetHandler([this](const MessageBox::Request& request) {
          messages.push_back({request.text, request.icon, request.details, request.buttons});
          if (!answers.empty()) {
              const MessageBox::Button answer = answers.front();
              answers.pop_front();
              return answer;
          }
          return request.buttons.empty() ? MessageBox::Button::Ok : request.buttons.front();
      })) {}

MessageRecorder::~MessageRecorder() { MessageBox::SetHandler(std::move(previous_)); }

int ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return error.Number();
    }
    return 0;
}

QString ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return QStringLiteral("%1 %2").arg(error.Number()).arg(error.Description());
    }
    return {};
}

int MessageRecorder::FailureNumber() const {
    EXPECT_EQ(messages.size(), 1u);
    if (messages.empty()) return 0;
    const auto& message = messages.front();
    EXPECT_EQ(message.icon, MessageBox::Icon::None);
    EXPECT_TRUE(message.text.startsWith(QStringLiteral("Fehler beim Importieren einer Sprache!\n")))
        << message.text.toStdString();
    return message.text.section(QLatin1Char('\n'), 1).section(QLatin1Char(':'), 0, 0).toInt();
}
