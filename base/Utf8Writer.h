#pragma once

#include <QByteArray>
#include <QStringView>

// Writes text as UTF-8 into out, replacing what out held but keeping its memory,
// so that one buffer serves many texts. The bytes are those QString::toUtf8()
// gives: a surrogate without its partner becomes "?".
void WriteUtf8(QStringView text, QByteArray& out);
