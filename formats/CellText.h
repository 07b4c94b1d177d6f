#pragma once

#include <QtGlobal>

// The most characters (UTF-16 units) a cell of an Excel workbook holds. Texts
// read from workbooks and text files are held to it, so that what a translator's
// spreadsheet program shows is all there is; longer texts travel in databases
// and XLIFF files.
constexpr qsizetype kMaxCellCharacters = 32767;
