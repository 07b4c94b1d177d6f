#include "CodePageTable.h"

#include "RuntimeError.h"

#include <QFile>

#include <map>
#include <mutex>

static void InitCodePageResources() { Q_INIT_RESOURCE(CodePageTables); }

namespace {

// The records of the table text: a tag line ("MBTABLE 256") or a record of
// hexadecimal fields; comments after ";" and blank lines are dropped.
std::vector<std::vector<QByteArray>> Lines(const QByteArray& text) {
    std::vector<std::vector<QByteArray>> lines;
    for (QByteArray line : text.split('\n')) {
        const qsizetype comment = line.indexOf(';');
        if (comment >= 0) line.truncate(comment);
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 1 && fields[0].isEmpty()) continue;
        lines.emplace_back(fields.begin(), fields.end());
    }
    return lines;
}

uint32_t NumberField(const QByteArray& field) {
    bool ok = false;
    const uint32_t value = field.toUInt(&ok, 0);
    if (!ok) throw RuntimeError::CodePageTableDamaged(QString::fromLatin1(field));
    return value;
}

}  // namespace

// Reads the lines of the text section by section: a tag line ("MBTABLE 256")
// and the records that its count announces.
struct CodePageTable::Parser {
    using Line = std::vector<QByteArray>;
    explicit Parser(std::vector<Line> text) : lines(std::move(text)) {
        table->byteToUnit_.fill(kUnlisted);
        table->leadIndex_.fill(-1);
        table->unitToBytes_.assign(0x10000, kNoBytes);
    }

    std::vector<Line> lines;
    size_t i = 0;  // the tag line of the section read next
    std::unique_ptr<CodePageTable> table{new CodePageTable};
    size_t nextLead = 0;  // the lead byte whose DBCSTABLE comes next, in range order
    uint32_t rangesLeft = 0;

    RuntimeError Damaged() const {
        return RuntimeError::CodePageTableDamaged(QString::fromLatin1(lines[i][0].toUpper()));
    }
    uint32_t Count() const { return lines[i].size() > 1 ? NumberField(lines[i][1]) : 0U; }
    // The records of the section, each with two fields; moves past them.
    std::vector<std::pair<uint32_t, uint32_t>> Records() {
        const uint32_t n = Count();
        if (i + 1 + n > lines.size()) throw Damaged();
        std::vector<std::pair<uint32_t, uint32_t>> pairs;
        for (uint32_t k = 1; k <= n; ++k) {
            const Line& record = lines[i + k];
            if (record.size() < 2) throw Damaged();
            pairs.emplace_back(NumberField(record[0]), NumberField(record[1]));
        }
        i += 1 + n;
        return pairs;
    }

    void CpInfo() {
        const Line& tag = lines[i++];
        if (tag.size() < 4) throw RuntimeError::CodePageTableDamaged(QStringLiteral("CPINFO"));
        table->doubleByte_ = NumberField(tag[1]) == 2;
        table->defaultByte_ = static_cast<char>(NumberField(tag[2]));
        table->defaultUnit_ = static_cast<char16_t>(NumberField(tag[3]));
    }
    // A range of lead bytes; the DBCSTABLEs of its lead bytes follow it.
    void LeadRange() {
        const Line& tag = lines[i];
        if (tag.size() < 2) throw Damaged();
        const uint32_t first = NumberField(tag[0]), last = NumberField(tag[1]);
        for (uint32_t lead = first; lead <= last && lead < 256; ++lead) {
            table->leadIndex_[lead] = static_cast<int16_t>(table->trailToUnit_.size());
            table->trailToUnit_.emplace_back().fill(kUnlisted);
        }
        --rangesLeft;
        ++i;
    }
    void DbcsTable() {
        if (nextLead >= table->trailToUnit_.size()) throw Damaged();
        auto& trail = table->trailToUnit_[nextLead++];
        for (const auto& [byte, unit] : Records()) trail[byte & 0xFF] = static_cast<char16_t>(unit);
    }

    // Reads one section; false at the end of the table.
    bool Section() {
        const QByteArray name = lines[i][0].toUpper();
        if (name == "CODEPAGE") {
            table->number_ = static_cast<int>(Count());
            ++i;
        } else if (name == "CPINFO") {
            CpInfo();
        } else if (name == "MBTABLE") {
            for (const auto& [byte, unit] : Records())
                table->byteToUnit_[byte & 0xFF] = static_cast<char16_t>(unit);
        } else if (name == "DBCSRANGE") {
            rangesLeft = Count();
            ++i;
        } else if (name.startsWith("0X") && rangesLeft > 0) {
            LeadRange();
        } else if (name == "DBCSTABLE") {
            DbcsTable();
        } else if (name == "WCTABLE") {
            for (const auto& [unit, bytes] : Records())
                table->unitToBytes_[unit & 0xFFFF] = static_cast<uint16_t>(bytes);
        } else if (name == "ENDCODEPAGE") {
            return false;
        } else {
            throw Damaged();
        }
        return true;
    }
};

std::unique_ptr<CodePageTable> CodePageTable::Parse(const QByteArray& text) {
    Parser parser(Lines(text));
    bool complete = false;
    while (parser.i < parser.lines.size() && !complete) complete = !parser.Section();
    if (!complete || parser.table->number_ == 0)
        throw RuntimeError::CodePageTableDamaged(QStringLiteral("ENDCODEPAGE"));
    return std::move(parser.table);
}

const CodePageTable* CodePageTable::Find(int codePage) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<CodePageTable>> tables;
    std::lock_guard lock(mutex);
    auto found = tables.find(codePage);
    if (found != tables.end()) return found->second.get();
    if (tables.empty()) InitCodePageResources();
    std::unique_ptr<CodePageTable> table;
    QFile file(QStringLiteral(":/codepages/bestfit%1.txt").arg(codePage));
    if (codePage > 0 && file.open(QIODevice::ReadOnly)) table = Parse(file.readAll());
    return tables.emplace(codePage, std::move(table)).first->second.get();
}

QByteArray CodePageTable::Encode(const QString& text) const {
    QByteArray out(text.size() * (doubleByte_ ? 2 : 1), Qt::Uninitialized);
    char* bytes = out.data();
    qsizetype written = 0;
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        uint16_t mapped = unitToBytes_[unit];
        if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            // A character beyond the BMP: no ANSI code page has one.
            ++i;
            mapped = kNoBytes;
        }
        if (mapped == kNoBytes) {
            bytes[written++] = defaultByte_;
        } else if (mapped > 0xFF) {
            bytes[written++] = static_cast<char>(mapped >> 8);
            bytes[written++] = static_cast<char>(mapped & 0xFF);
        } else {
            bytes[written++] = static_cast<char>(mapped);
        }
    }
    out.truncate(written);
    return out;
}

QString CodePageTable::Decode(const char* data, size_t size) const {
    QString out(static_cast<qsizetype>(size), Qt::Uninitialized);
    auto* units = reinterpret_cast<char16_t*>(out.data());
    qsizetype written = 0;
    for (size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<uint8_t>(data[i]);
        char16_t unit = byteToUnit_[byte];
        const int16_t lead = leadIndex_[byte];
        if (lead >= 0) {
            // A lead byte takes the next byte with it; at the end it stands alone.
            unit = i + 1 < size
                       ? trailToUnit_[static_cast<size_t>(lead)][static_cast<uint8_t>(data[++i])]
                       : kUnlisted;
        }
        units[written++] = unit == kUnlisted ? defaultUnit_ : unit;
    }
    out.truncate(written);
    return out;
}
