#include "BiffRecords.h"
#include "BiffRecordTypes.h"

#include "Gsf.h"

#include <QFile>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <algorithm>
#include <cstring>

namespace Biff {
namespace {

QByteArray Bof(int version, uint16_t type) {
    if (version == 8)
        return Record(BiffRecord::kBof,
                      U16(0x0600) + U16(type) + U16(0x0DBB) + U16(1996) + U32(0) + U32(6));
    return Record(BiffRecord::kBof, U16(0x0500) + U16(type) + U16(0x0DBB) + U16(1994));
}

}  // namespace

bool FitsCompressed(const QString& text) {
    for (QChar c : text)
        if (c.unicode() > 0xFF) return false;
    return true;
}

QByteArray Chars(const QString& text, bool wide) {
    QByteArray bytes;
    bytes.reserve(text.size() * (wide ? 2 : 1));
    for (QChar c : text) {
        bytes += static_cast<char>(c.unicode() & 0xFF);
        if (wide) bytes += static_cast<char>(c.unicode() >> 8);
    }
    return bytes;
}

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

QByteArray CellHeader(uint16_t row, uint16_t col, uint16_t xf) {
    return U16(row) + U16(col) + U16(xf);
}
QByteArray Number(uint16_t row, uint16_t col, double value, uint16_t xf) {
    return Record(BiffRecord::kNumber, CellHeader(row, col, xf) + F64(value));
}
QByteArray LabelSst(uint16_t row, uint16_t col, uint32_t index, uint16_t xf) {
    return Record(BiffRecord::kLabelSst, CellHeader(row, col, xf) + U32(index));
}

QByteArray SharedStrings(const QStringList& strings) {
    QByteArray out;
    QByteArray body =
        U32(static_cast<uint32_t>(strings.size())) + U32(static_cast<uint32_t>(strings.size()));
    uint16_t type = BiffRecord::kSst;
    auto flush = [&] {
        out += Record(type, body);
        body.clear();
        type = BiffRecord::kContinue;
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
        return Record(BiffRecord::kBoundSheet, U32(offset) + U8(0) + U8(sheet.type) + name);
    };
    QByteArray head = Bof(version, 0x0005) + globals;
    qsizetype boundSize = 0;
    for (const auto& sheet : sheets) boundSize += boundSheet(sheet, 0).size();
    const QByteArray eof = Record(BiffRecord::kEof, {});
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

bool WriteCompoundFile(const QString& path, const QByteArray& stream, int version) {
    Gsf::Init();
    GError* error = nullptr;
    GPtr<GsfOutput> sink(gsf_output_stdio_new(QFile::encodeName(path).constData(), &error));
    if (!sink) {
        if (error) g_error_free(error);
        return false;
    }
    GPtr<GsfOutfile> container(gsf_outfile_msole_new(sink.get()));
    GPtr<GsfOutput> child(
        gsf_outfile_new_child(container.get(), version == 8 ? "Workbook" : "Book", FALSE));
    bool written = child && gsf_output_write(child.get(), static_cast<size_t>(stream.size()),
                                             reinterpret_cast<const guint8*>(stream.constData()));
    if (child) written = gsf_output_close(child.get()) && written;
    written = gsf_output_close(GSF_OUTPUT(container.get())) && written;
    // Closing the container closes the file; a file still open was not completed.
    if (!gsf_output_is_closed(sink.get())) written = gsf_output_close(sink.get()) && written;
    return written;
}

}  // namespace Biff
