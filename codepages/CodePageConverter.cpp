#include "CodePageConverter.h"

#include "CodePageTable.h"
#include "RuntimeError.h"

#include <unicode/ucnv.h>
#include <string>

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
    : codePage_(codePage), table_(CodePageTable::Find(codePage)) {
    if (table_) return;
    converter_ = OpenConverter(codePage);
    if (!converter_) throw RuntimeError::CodePageUnsupported(codePage);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setSubstChars(converter_, "?", 1, &status);
    // Windows maps characters a code page lacks to a close relative where it knows one.
    ucnv_setFallback(converter_, true);
    singleByte_ = ucnv_getMaxCharSize(converter_) == 1;
    if (singleByte_) unitToByte_.assign(0x10000, -1);
}

CodePageConverter::~CodePageConverter() { ucnv_close(converter_); }

bool CodePageConverter::Exists(int codePage) {
    if (CodePageTable::Find(codePage)) return true;
    UConverter* converter = OpenConverter(codePage);
    ucnv_close(converter);
    return converter != nullptr;
}

QByteArray CodePageConverter::EncodeWithIcu(const QString& text) {
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
    if (U_FAILURE(status)) throw RuntimeError::TextNotConvertible(codePage_);
    out.truncate(written);
    return out;
}

QString CodePageConverter::DecodeWithIcu(const char* data, size_t size) {
    if (size == 0) return {};
    ucnv_resetToUnicode(converter_);
    QString out(static_cast<qsizetype>(size) * 2 + 2, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t written =
        ucnv_toUChars(converter_, reinterpret_cast<UChar*>(out.data()),
                      static_cast<int32_t>(out.size()), data, static_cast<int32_t>(size), &status);
    if (U_FAILURE(status)) throw RuntimeError::BytesNotConvertible(codePage_);
    out.truncate(written);
    return out;
}

char CodePageConverter::EncodeUnit(char16_t unit) {
    int16_t& known = unitToByte_[unit];
    if (known < 0) {
        const QByteArray bytes = EncodeWithIcu(QString(QChar(unit)));
        known = bytes.size() == 1 ? static_cast<uint8_t>(bytes[0]) : '?';
    }
    return static_cast<char>(known);
}

QByteArray CodePageConverter::Encode(const QString& text) {
    if (table_) return table_->Encode(text);
    if (!singleByte_) return EncodeWithIcu(text);
    QByteArray out(text.size(), Qt::Uninitialized);
    char* bytes = out.data();
    qsizetype written = 0;
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = units[i];
        if (QChar::isSurrogate(unit)) {
            // A character beyond the BMP, or a lone half of one: no single-byte code page has it.
            if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
                QChar::isLowSurrogate(units[i + 1]))
                ++i;
            bytes[written++] = '?';
            continue;
        }
        bytes[written++] = EncodeUnit(unit);
    }
    out.truncate(written);
    return out;
}

bool CodePageConverter::ReadyToDecodeBytes() {
    if (byteTable_ == Table::Unknown) {
        byteTable_ = Table::Ready;
        for (int byte = 0; byte < 256; ++byte) {
            const char c = static_cast<char>(byte);
            const QString unit = DecodeWithIcu(&c, 1);
            if (unit.size() != 1) {
                byteTable_ = Table::Unusable;
                break;
            }
            byteToUnit_[static_cast<size_t>(byte)] = unit[0].unicode();
        }
    }
    return byteTable_ == Table::Ready;
}

QString CodePageConverter::Decode(const char* data, size_t size) {
    if (table_) return table_->Decode(data, size);
    if (!singleByte_ || !ReadyToDecodeBytes()) return DecodeWithIcu(data, size);
    QString out(static_cast<qsizetype>(size), Qt::Uninitialized);
    auto* units = reinterpret_cast<char16_t*>(out.data());
    for (size_t i = 0; i < size; ++i) units[i] = byteToUnit_[static_cast<uint8_t>(data[i])];
    return out;
}
