#include "RuntimeError.h"

#include <utility>

RuntimeError::RuntimeError(int32_t number, QString description)
    : number_(number),
      description_(std::move(description)),
      utf8_(QString::number(number_)
                .append(QStringLiteral(": "))
                .append(description_)
                .toStdString()) {}
