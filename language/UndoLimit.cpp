#include "UndoLimit.h"

#include "SqliteStatement.h"
#include "UndoStore.h"
#include "UndoStoreFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace UndoLimit {
namespace {

QFileInfoList StoreFiles() {
    return QDir(UndoStoreFile::Folder())
        .entryInfoList({QStringLiteral("*.db")}, QDir::Files | QDir::NoDotAndDotDot);
}

struct Oldest {
    UndoStoreFile* store = nullptr;
    int64_t id = 0;
    int64_t stamp = 0;  // when it was made, in milliseconds
};

// The oldest import of the store whose changes are still there, but for keep.
std::optional<Oldest> OldestOf(UndoStoreFile& store, int64_t keep) {
    return store.Guarded([&]() -> std::optional<Oldest> {
        SqliteStatement oldest(store.Handle(),
                               QStringLiteral("SELECT id, stamp FROM undo_imports WHERE dropped "
                                              "= 0 AND state = 1 AND bytes > 0 AND id <> ?1 "
                                              "ORDER BY id LIMIT 1"),
                               store.Path());
        oldest.BindInt64(1, keep);
        if (!oldest.Step()) return std::nullopt;
        return Oldest{&store, oldest.ColumnInt64(0), oldest.ColumnInt64(1)};
    });
}

}  // namespace

int64_t LimitBytes() {
    // Megabytes beyond what bytes can count mean no bound in practice; shifted
    // as they stand they would overflow into a small or negative limit that
    // drops the undo data of every project.
    constexpr int64_t kLargest = std::numeric_limits<int64_t>::max() >> 20;
    const QString setting = qEnvironmentVariable("QUORVIN_UNDO_LIMIT_MB").trimmed();
    bool ok = false;
    int64_t mib = setting.toLongLong(&ok);
    if (!ok && !setting.isEmpty() && std::all_of(setting.begin(), setting.end(), [](QChar c) {
            return c >= u'0' && c <= u'9';
        })) {
        ok = true;  // more digits than a 64-bit number holds
        mib = kLargest;
    }
    if (!ok || mib <= 0) mib = UndoStore::kDefaultLimitMiB;
    return std::min(mib, kLargest) << 20;
}

int64_t SizeOfAll() {
    int64_t total = 0;
    for (const QFileInfo& file : StoreFiles()) total += file.size();
    return total;
}

void DropChanges(UndoStoreFile& store, int64_t id, bool dropped) {
    store.Exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        store.Exec(QStringLiteral("DELETE FROM undo_chunks WHERE seq BETWEEN (SELECT first_chunk "
                                  "FROM undo_imports WHERE id = %1) AND (SELECT last_chunk FROM "
                                  "undo_imports WHERE id = %1)")
                       .arg(id));
        store.Exec(QStringLiteral("UPDATE undo_imports SET dropped = %2, bytes = 0 WHERE id = %1")
                       .arg(id)
                       .arg(dropped ? 1 : 0));
        store.Exec(QStringLiteral("COMMIT"));
    } catch (...) {
        store.Exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    store.ReleaseFreePages();
}

void Enforce(UndoStoreFile& current, int64_t keep) {
    const int64_t limit = LimitBytes();
    int64_t total = SizeOfAll();
    if (total <= limit) return;
    std::vector<std::unique_ptr<UndoStoreFile>> others;
    std::vector<UndoStoreFile*> stores{&current};
    const QString own = QFileInfo(current.Path()).absoluteFilePath();
    for (const QFileInfo& file : StoreFiles()) {
        if (file.absoluteFilePath() == own) continue;
        if (auto store = UndoStoreFile::OpenIfFree(file.absoluteFilePath())) {
            stores.push_back(store.get());
            others.push_back(std::move(store));
        }
    }
    while (total > limit) {
        std::optional<Oldest> oldest;
        for (UndoStoreFile* store : stores) {
            const auto candidate = OldestOf(*store, store == &current ? keep : 0);
            if (candidate && (!oldest || candidate->stamp < oldest->stamp)) oldest = candidate;
        }
        if (!oldest) return;
        DropChanges(*oldest->store, oldest->id);
        total = SizeOfAll();
    }
}

}  // namespace UndoLimit
