#pragma once

#include "SourceTable.h"
#include "SpillList.h"

#include <QString>

#include <cstdint>
#include <vector>

// What one run of the import update did, counted while it ran. Source rows are
// given by their place: in a sheet or an Access table from 1 in its order (the
// first data row is 1), in a database file its row id (which is that number as
// long as no row was deleted); IDs are given as the source wrote them.
struct UpdateTally {
    int64_t sourceRows = 0;  // every row read, those without an ID included
    int64_t nullKeys = 0;    // rows whose ID is Null: ignored
    int64_t matched = 0;     // project rows that were given a source row's value
    int64_t changed = 0;     // of those: the text is now another one
    int64_t unchanged = 0;   // of those: the text already held the value
    int64_t setToNull = 0;   // of the changed ones: a text that became Null

    struct SourceId {
        int64_t row = 0;
        QString id;
    };
    // Rows whose ID matches no project row, in source order: as many as the
    // source has rows, so all but a few thousand wait in a temporary file.
    SpillList<SourceId> unmatched;

    // Rows whose ID begins with no number (its Val() is 0), in source order;
    // applied when the row's value went to a project row 0. As many as the
    // source has rows when its IDs are no numbers at all.
    struct NoNumber {
        SourceId source;
        bool applied = false;
    };
    SpillList<NoNumber> noNumber;

    // IDs given by several rows: every such row in source order. The last one
    // wins; the others are ignored. Both lists may be as long as the source (a
    // million IDs twice, or one ID a million times).
    struct Duplicate {
        double key = 0;
        SpillList<SourceId> rows;
        const SourceId& Winner() const { return rows.back(); }
    };
    SpillList<Duplicate> duplicates;  // ordered by the first row of each ID

    // How a text file was read: its encoding, and what of it was no UTF-8.
    SourceReading reading;
};

inline void SpillOut(SpillWriter& out, const UpdateTally::SourceId& id) {
    out.Int(id.row);
    out.Text(id.id);
}
inline void SpillIn(SpillReader& in, UpdateTally::SourceId& id) {
    id.row = in.Int();
    id.id = in.Text();
}
inline void SpillOut(SpillWriter& out, const UpdateTally::Duplicate& duplicate) {
    out.Real(duplicate.key);
    out.Int(static_cast<int64_t>(duplicate.rows.size()));
    for (const UpdateTally::SourceId& row : duplicate.rows) SpillOut(out, row);
}
inline void SpillIn(SpillReader& in, UpdateTally::Duplicate& duplicate) {
    duplicate.key = in.Real();
    duplicate.rows.clear();
    for (int64_t i = in.Int(); i > 0 && !in.Failed(); --i) {
        UpdateTally::SourceId row;
        SpillIn(in, row);
        duplicate.rows.push_back(std::move(row));
    }
}
inline void SpillOut(SpillWriter& out, const UpdateTally::NoNumber& row) {
    SpillOut(out, row.source);
    out.Byte(row.applied ? 1 : 0);
}
inline void SpillIn(SpillReader& in, UpdateTally::NoNumber& row) {
    SpillIn(in, row.source);
    row.applied = in.Byte() != 0;
}
