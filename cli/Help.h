#pragma once

#include <QString>

// The German help of the command line. The formats it names come from the
// tables of source and export formats.
namespace Help {

// The help of quorvin-language as a whole.
QString Main();
// The help of one command; empty for a command there is none of.
QString ForCommand(const QString& command);

}  // namespace Help
