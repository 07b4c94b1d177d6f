#pragma once

#include <cstdint>

// The record stream in which the Access reader helper (access-reader/) sends a
// table to AccessReader, little-endian:
//   kMagic, u32 column count, per column u32 length + UTF-8 name;
//   per row kRow, then per cell a CellType byte: kNull; kText, u32 length +
//   UTF-8; kNumber, an 8-byte double;
//   at the end kEnd and the u64 row count.
// A failure is kFailure, an i32 Failure number, u32 length + UTF-8 detail, and
// the helper's exit code 1; the parent words the message. Plain C++ only: the
// helper links nothing but libmdb.
namespace AccessStream {

inline constexpr char kMagic[4] = {'Q', 'A', 'R', '1'};
inline constexpr char kRow = 'R';
inline constexpr char kEnd = 'Z';
inline constexpr char kFailure = 'E';

enum CellType : uint8_t { kNull = 0, kText = 1, kNumber = 2 };

// The failures, numbered as the engine numbers its errors.
enum Failure : int32_t {
    kUsage = 5,
    kNoSuchTable = 3011,
    kDamaged = 3049,
    kNotAccess = 3343,
};

}  // namespace AccessStream
