#pragma once

#include <QtGlobal>

#include <string_view>

class QString;
class Variant;

// The most characters (UTF-16 units) a cell of an Excel workbook holds. Texts
// read from workbooks and text files are held to it, so that what a translator's
// spreadsheet program shows is all there is; longer texts travel in databases
// and XLIFF files.
constexpr qsizetype kMaxCellCharacters = 32767;

// Whether a value is a text longer than a cell holds.
bool LongerThanACell(const Variant& value);

// A text as Office Open XML writes it, with the characters XML cannot hold
// written as "_xHHHH_" (and a literal "_x" as "_x005F_x"), read back.
QString OoxmlUnescape(const QString& text);
// Whether a text in UTF-8 holds what OoxmlUnescape() reads: "_x" anywhere.
bool OoxmlEscaped(std::string_view utf8);
