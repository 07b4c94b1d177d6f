#include "NumberMap.h"

#include "ImportReport.h"

NumberMap::NumberMap(size_t expected) {
    if (expected <= SpillList<LossyText>::kBatch) return;
    stored_.emplace();
    stored_->Exec("CREATE TABLE m(key PRIMARY KEY, value) WITHOUT ROWID; BEGIN");
    add_.emplace(stored_->Handle(), QStringLiteral("INSERT OR REPLACE INTO m VALUES (?, ?)"),
                 TemporaryDatabase::kName);
}

void NumberMap::Add(double key, int64_t value) {
    if (!stored_) {
        memory_[key] = value;
        return;
    }
    add_->BindDouble(1, key);
    add_->BindInt64(2, value);
    add_->Step();
    add_->Reset();
}

std::optional<int64_t> NumberMap::Find(double key) {
    if (!stored_) {
        const auto found = memory_.find(key);
        if (found == memory_.end()) return std::nullopt;
        return found->second;
    }
    if (!find_) {
        add_.reset();
        stored_->Exec("COMMIT");
        find_.emplace(stored_->Handle(), QStringLiteral("SELECT value FROM m WHERE key = ?"),
                      TemporaryDatabase::kName);
    }
    find_->Reset();
    find_->BindDouble(1, key);
    if (!find_->Step()) return std::nullopt;
    return find_->ColumnInt64(0);
}
