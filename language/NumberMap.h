#pragma once

#include "SqliteStatement.h"
#include "TemporaryDatabase.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

// Whole numbers looked up by a number, as many as a report list may hold: in
// memory for a few thousand, else in a temporary database, so that a million of
// them cost no memory. A number added twice keeps its last value.
class NumberMap {
  public:
    // expected: how many will be added, which decides where they are kept.
    explicit NumberMap(size_t expected);
    void Add(double key, int64_t value);
    // Once every number is added.
    std::optional<int64_t> Find(double key);
    bool Contains(double key) { return Find(key).has_value(); }

  private:
    std::unordered_map<double, int64_t> memory_;
    std::optional<TemporaryDatabase> stored_;
    std::optional<SqliteStatement> add_, find_;
};
