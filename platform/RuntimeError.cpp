#include "RuntimeError.h"

#include <new>
#include <utility>

RuntimeError::RuntimeError(int32_t number, QString description)
    : number_(number),
      description_(std::move(description)),
      utf8_(QString::number(number_)
                .append(QStringLiteral(": "))
                .append(description_)
                .toStdString()) {}

RuntimeError RuntimeError::FromCurrentException() {
    try {
        throw;
    } catch (const RuntimeError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return RuntimeError(ErrorNumber::OutOfMemory,
                            QStringLiteral("Nicht genügend Arbeitsspeicher."));
    } catch (const std::exception& error) {
        return RuntimeError(ErrorNumber::ReservedError, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return RuntimeError(ErrorNumber::ReservedError, QStringLiteral("Unbekannter Fehler."));
    }
}
