#pragma once

#include <QByteArray>
#include <QStringView>

#include <string_view>

// Writes text as UTF-8 into out, replacing what out held but keeping its memory,
// so that one buffer serves many texts. The bytes are those QString::toUtf8()
// gives: a surrogate without its partner becomes "?".
void WriteUtf8(QStringView text, QByteArray& out);

// The UTF-16 units a text in (valid) UTF-8 takes, as a QString and a cell count
// them: every byte that begins a character, and once more for those beyond the
// BMP (four bytes of UTF-8).
qsizetype Utf16Units(std::string_view utf8);
