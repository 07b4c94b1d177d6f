#include "CodePageConverter.h"

#include "RuntimeError.h"

#include <string>
#include <unicode/ucnv.h>

namespace {

UConverter* OpenConverter(int codePage) {
    if (codePage <= 0) return nullptr;
    const std::string number = std::to_string(codePage);
    for (const std::string& name : {"windows-" + number, "cp" + number, "ibm-" + number}) {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* converter = ucnv_open(name.c_str(), &status);
        if (U_SUCCESS(status) && converter) return converter;
    }
    return nullptr;
}

}  // namespace

CodePageConverter::CodePageConverter(int codePage)
    : codePage_(codePage), converter_(OpenConverter(codePage)) {
    if (!converter_)
        throw RuntimeError(ErrorNumber::InvalidArgument,
                           QStringLiteral("Die Codepage %1 wird nicht unterstützt.").arg(codePage));
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setSubstChars(converter_, "?", 1, &status);
    // Windows maps characters a code page lacks to a close relative where it knows one.
    ucnv_setFallback(converter_, true);
}

CodePageConverter::~CodePageConverter() { ucnv_close(converter_); }

bool CodePageConverter::Exists(int codePage) {
    UConverter* converter = OpenConverter(codePage);
    ucnv_close(converter);
    return converter != nullptr;
}

QByteArray CodePageConverter::Encode(const QString& text) {
    if (text.isEmpty()) return {};
    ucnv_resetFromUnicode(converter_);
    const auto* source = reinterpret_cast<const UChar*>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    QByteArray out(static_cast<qsizetype>(
                       UCNV_GET_MAX_BYTES_FOR_STRING(length, ucnv_getMaxCharSize(converter_))),
                   Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t written = ucnv_fromUChars(converter_, out.data(), static_cast<int32_t>(out.size()),
                                      source, length, &status);
    if (U_FAILURE(status))
        throw RuntimeError(
            ErrorNumber::InvalidArgument,
            QStringLiteral("Der Text kann nicht in die Codepage %1 umgewandelt werden.")
                .arg(codePage_));
    out.truncate(written);
    return out;
}

QString CodePageConverter::Decode(const char* data, size_t size) {
    if (size == 0) return {};
    ucnv_resetToUnicode(converter_);
    QString out(static_cast<qsizetype>(size) * 2 + 2, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t written =
        ucnv_toUChars(converter_, reinterpret_cast<UChar*>(out.data()),
                      static_cast<int32_t>(out.size()), data, static_cast<int32_t>(size), &status);
    if (U_FAILURE(status))
        throw RuntimeError(
            ErrorNumber::InvalidArgument,
            QStringLiteral("Die Bytes können nicht aus der Codepage %1 gelesen werden.")
                .arg(codePage_));
    out.truncate(written);
    return out;
}
