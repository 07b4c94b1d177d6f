#pragma once

#include <QString>

// The engine's Val(): the number a text begins with. Blanks, tabs and line feeds
// are skipped anywhere ("1 2" is 12); an optional sign, digits, one decimal point
// and an exponent (E or D) follow; "&H" reads hexadecimal and "&O" octal. The
// first other character ends the number; a text without a number gives 0.
double Val(const QString& text);

// Val() of UTF-8 bytes that are plain digits only, fewer than 16 of them (exact as
// a double), without making a text of them; false for any other bytes.
bool ValOfPlainDigits(const char* utf8, int size, double& value);

// Whether the text begins with a number Val() reads ("0", " 12abc", "&H1F"), as
// against a text whose Val() is 0 because it has none ("abc", "", "&H").
bool BeginsWithNumber(const QString& text);
