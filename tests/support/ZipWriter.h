#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

// A ZIP container of the given parts ("xl/workbook.xml" -> its bytes), written
// with libgsf, for tests and fuzz targets that build .xlsx workbooks part by part.
QByteArray ZipContainer(const std::vector<std::pair<QString, QByteArray>>& parts);

// An .xlsx workbook of one sheet "TidxTexts" with the given sheet part and
// shared strings part, in parts named and linked as unusually as the format
// allows (prefixed elements, a relative target through "..").
QByteArray XlsxContainer(const QByteArray& sheet, const QByteArray& sharedStrings);
