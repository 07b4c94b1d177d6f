#pragma once

// A SQLite VFS for tests that wraps the default one and makes the Nth write,
// sync or truncate fail, as SQLite's own I/O-error tests do. Installed as the
// default VFS, so every connection of the process goes through it; while it is
// not armed it only forwards.
namespace FaultVfs {

enum class Failure { DiskFull, IoError };

// Installs the VFS as the process's default (once) and disarms it.
void Install();

// From now on, counts writes, syncs and truncates; the nth (1-based) fails with
// SQLITE_FULL or an SQLITE_IOERR code. With persist every later one fails too.
void Arm(int n, Failure failure, bool persist);
// Stops failing and counting.
void Disarm();

// Whether an armed failure happened, and how many operations were counted.
bool Fired();
int Operations();

}  // namespace FaultVfs
