#pragma once

#include <QStringList>

// The command line "quorvin-language": the import of the window for batch runs
// and CI, over the same core. Returns the exit status: 0 done, 1 the operation
// failed (the project is unchanged), 2 a usage error, 3 findings (check, import
// --strict, undo with conflicts). Writes results to standard output and
// messages to standard error, all German.
namespace CommandLine {

inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;
inline constexpr int kFindings = 3;

// arguments: everything after the program's name.
int Run(const QStringList& arguments);

}  // namespace CommandLine
