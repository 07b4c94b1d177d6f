#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

// A ZIP container of the given parts ("xl/workbook.xml" -> its bytes), written
// with libgsf, for tests and fuzz targets that build .xlsx workbooks part by part.
QByteArray ZipContainer(const std::vector<std::pair<QString, QByteArray>>& parts);
