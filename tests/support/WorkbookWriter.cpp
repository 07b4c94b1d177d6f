#include "WorkbookWriter.h"

#include <QFile>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <cstring>
#include <stdexcept>

namespace Biff {
namespace {

constexpr int kMaxRecordBody = 8224;

bool FitsCompressed(const QString& text) {
    for (QChar c : text)
        if (c.unicode() > 0xFF) return false;
    return true;
}

QByteArray Chars(const QString& text, bool wide) {
    QByteArray bytes;
    for (QChar c : text) {
        bytes += static_cast<char>(c.unicode() & 0xFF);
        if (wide) bytes += static_cast<char>(c.unicode() >> 8);
    }
    return bytes;
}

QByteArray Bof(int version, uint16_t type) {
    if (version == 8)
        return Record(0x0809, U16(0x0600) + U16(type) + U16(0x0DBB) + U16(1996) + U32(0) + U32(6));
    return Record(0x0809, U16(0x0500) + U16(type) + U16(0x0DBB) + U16(1994));
}

}  // namespace

QByteArray U8(uint8_t value) { return QByteArray(1, static_cast<char>(value)); }
QByteArray U16(uint16_t value) {
    return U8(static_cast<uint8_t>(value & 0xFF)) + U8(static_cast<uint8_t>(value >> 8));
}
QByteArray U32(uint32_t value) {
    return U16(value & 0xFFFF) + U16(static_cast<uint16_t>(value >> 16));
}
QByteArray F64(double value) {
    QByteArray bytes(8, '\0');
    std::memcpy(bytes.data(), &value, 8);
    return bytes;
}

QByteArray Record(uint16_t type, const QByteArray& body) {
    return U16(type) + U16(static_cast<uint16_t>(body.size())) + body;
}

QByteArray String8(const QString& text) {
    bool wide = !FitsCompressed(text);
    return U16(static_cast<uint16_t>(text.size())) + U8(wide ? 1 : 0) + Chars(text, wide);
}

QByteArray String5(const QByteArray& bytes) {
    return U16(static_cast<uint16_t>(bytes.size())) + bytes;
}

QByteArray CellHeader(uint16_t row, uint16_t col) { return U16(row) + U16(col) + U16(15); }
QByteArray Number(uint16_t row, uint16_t col, double value) {
    return Record(0x0203, CellHeader(row, col) + F64(value));
}
QByteArray Label8(uint16_t row, uint16_t col, const QString& text) {
    return Record(0x0204, CellHeader(row, col) + String8(text));
}
QByteArray Label5(uint16_t row, uint16_t col, const QByteArray& bytes) {
    return Record(0x0204, CellHeader(row, col) + String5(bytes));
}
QByteArray LabelSst(uint16_t row, uint16_t col, uint32_t index) {
    return Record(0x00FD, CellHeader(row, col) + U32(index));
}
QByteArray Rk(uint16_t row, uint16_t col, uint32_t rk) {
    return Record(0x027E, CellHeader(row, col) + U32(rk));
}
QByteArray Blank(uint16_t row, uint16_t col) { return Record(0x0201, CellHeader(row, col)); }
QByteArray BoolErr(uint16_t row, uint16_t col, uint8_t value, bool isError) {
    return Record(0x0205, CellHeader(row, col) + U8(value) + U8(isError ? 1 : 0));
}

QByteArray FormulaNumber(uint16_t row, uint16_t col, double value) {
    return Record(0x0006,
                  CellHeader(row, col) + F64(value) + U16(0) + U32(0) + U16(3) + U8(0x1E) + U16(1));
}

QByteArray FormulaSpecial(uint16_t row, uint16_t col, uint8_t kind, uint8_t value) {
    QByteArray result = U8(kind) + U8(0) + U8(value) + U8(0) + U8(0) + U8(0) + U16(0xFFFF);
    return Record(0x0006,
                  CellHeader(row, col) + result + U16(0) + U32(0) + U16(3) + U8(0x1E) + U16(1));
}

QByteArray StringRecord8(const QString& text) { return Record(0x0207, String8(text)); }
QByteArray CodePage(uint16_t codePage) { return Record(0x0042, U16(codePage)); }

QByteArray SharedStrings(const QStringList& strings) {
    QByteArray out;
    QByteArray body =
        U32(static_cast<uint32_t>(strings.size())) + U32(static_cast<uint32_t>(strings.size()));
    uint16_t type = 0x00FC;
    auto flush = [&] {
        out += Record(type, body);
        body.clear();
        type = 0x003C;
    };
    for (const QString& text : strings) {
        const bool wide = !FitsCompressed(text);
        const int width = wide ? 2 : 1;
        // The count and option byte never split; start a new record if they would.
        if (body.size() + 3 + width > kMaxRecordBody) flush();
        body += U16(static_cast<uint16_t>(text.size())) + U8(wide ? 1 : 0);
        qsizetype done = 0;
        while (done < text.size()) {
            qsizetype room = (kMaxRecordBody - body.size()) / width;
            if (room == 0) {
                flush();
                body += U8(wide ? 1 : 0);  // characters go on after a new option byte
                continue;
            }
            qsizetype take = std::min(room, text.size() - done);
            body += Chars(text.mid(done, take), wide);
            done += take;
        }
    }
    flush();
    return out;
}

QByteArray WorkbookStream(int version, const QByteArray& globals,
                          const std::vector<Sheet>& sheets) {
    auto boundSheet = [&](const Sheet& sheet, uint32_t offset) {
        QByteArray name;
        if (version == 8) {
            bool wide = !FitsCompressed(sheet.name);
            name = U8(static_cast<uint8_t>(sheet.name.size())) + U8(wide ? 1 : 0) +
                   Chars(sheet.name, wide);
        } else {
            QByteArray bytes =
                sheet.nameBytes5.isEmpty() ? sheet.name.toLatin1() : sheet.nameBytes5;
            name = U8(static_cast<uint8_t>(bytes.size())) + bytes;
        }
        return Record(0x0085, U32(offset) + U8(0) + U8(sheet.type) + name);
    };
    QByteArray head = Bof(version, 0x0005) + globals;
    qsizetype boundSize = 0;
    for (const auto& sheet : sheets) boundSize += boundSheet(sheet, 0).size();
    const QByteArray eof = Record(0x000A, {});
    uint32_t offset = static_cast<uint32_t>(head.size() + boundSize + eof.size());
    QByteArray bounds, bodies;
    for (const auto& sheet : sheets) {
        QByteArray body = Bof(version, 0x0010) + sheet.cells + eof;
        bounds += boundSheet(sheet, offset);
        offset += static_cast<uint32_t>(body.size());
        bodies += body;
    }
    return head + bounds + eof + bodies;
}

void WriteCompoundFile(const QString& path, const QByteArray& stream, int version) {
    gsf_init();
    GError* error = nullptr;
    GsfOutput* sink = gsf_output_stdio_new(QFile::encodeName(path).constData(), &error);
    if (!sink) throw std::runtime_error("cannot create workbook file");
    GsfOutfile* container = gsf_outfile_msole_new(sink);
    GsfOutput* child = gsf_outfile_new_child(container, version == 8 ? "Workbook" : "Book", FALSE);
    gsf_output_write(child, static_cast<size_t>(stream.size()),
                     reinterpret_cast<const guint8*>(stream.constData()));
    gsf_output_close(child);
    g_object_unref(child);
    gsf_output_close(GSF_OUTPUT(container));
    g_object_unref(container);
    g_object_unref(sink);
}

}  // namespace Biff
