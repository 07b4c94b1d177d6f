#include "CodePageConverter.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

// Every entry of every table Windows publishes, through the converter the
// import uses: each byte (and byte pair) decodes to the table's character, and
// each character encodes to the table's bytes, best-fit entries included.
namespace {

struct Entries {
    int codePage = 0;
    std::vector<std::pair<QByteArray, char16_t>> decode;
    std::vector<std::pair<char16_t, QByteArray>> encode;
};

// Reads the records straight from the text: sections by their tags, the lead
// byte of each DBCSTABLE from the range lines before it.
Entries ReadEntries(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    Entries entries;
    QByteArray section;
    std::vector<int> leads;
    size_t table = 0;
    uint32_t left = 0;  // records left in the section
    for (QByteArray line : file.readAll().split('\n')) {
        if (const qsizetype comment = line.indexOf(';'); comment >= 0) line.truncate(comment);
        line = line.simplified();
        if (line.isEmpty()) continue;
        const QList<QByteArray> fields = line.split(' ');
        const uint32_t first = fields[0].toUInt(nullptr, 16);
        const uint32_t second = fields.size() > 1 ? fields[1].toUInt(nullptr, 0) : 0;
        if (!fields[0].startsWith("0x")) {
            section = fields[0];
            left = second;
            if (section == "CODEPAGE") entries.codePage = static_cast<int>(second);
            if (section == "DBCSTABLE") ++table;
        } else if (section == "MBTABLE") {
            entries.decode.emplace_back(QByteArray(1, static_cast<char>(first)), second);
        } else if (section == "DBCSRANGE" || (section == "DBCSTABLE" && left == 0)) {
            // A range line: before the DBCSTABLEs of its lead bytes.
            for (uint32_t lead = first; lead <= second; ++lead)
                leads.push_back(static_cast<int>(lead));
        } else if (section == "DBCSTABLE") {
            --left;
            const char pair[2] = {static_cast<char>(leads.at(table - 1)), static_cast<char>(first)};
            entries.decode.emplace_back(QByteArray(pair, 2), second);
        } else if (section == "WCTABLE") {
            QByteArray bytes;
            if (second > 0xFF) bytes.append(static_cast<char>(second >> 8));
            bytes.append(static_cast<char>(second & 0xFF));
            entries.encode.emplace_back(static_cast<char16_t>(first), bytes);
        }
    }
    return entries;
}

}  // namespace

TEST(CodePageTable, EveryPublishedEntryConvertsAsTheTableSays) {
    const QStringList files = QDir(QStringLiteral(CODEPAGE_TABLES_DIR))
                                  .entryList({QStringLiteral("bestfit*.txt")}, QDir::Files);
    ASSERT_EQ(files.size(), 14);
    for (const QString& name : files) {
        const Entries entries = ReadEntries(QStringLiteral(CODEPAGE_TABLES_DIR "/") + name);
        SCOPED_TRACE(name.toStdString());
        ASSERT_GT(entries.codePage, 0);
        ASSERT_GT(entries.decode.size(), 128u);
        ASSERT_GT(entries.encode.size(), 128u);
        CodePageConverter converter(entries.codePage);
        size_t wrong = 0;
        for (const auto& [bytes, unit] : entries.decode) {
            const QString decoded =
                converter.Decode(bytes.constData(), static_cast<size_t>(bytes.size()));
            if (decoded != QString(QChar(unit)) && ++wrong <= 5)
                ADD_FAILURE() << "decode " << bytes.toHex().toStdString();
        }
        for (const auto& [unit, bytes] : entries.encode) {
            if (converter.Encode(QString(QChar(unit))) != bytes && ++wrong <= 5)
                ADD_FAILURE() << "encode U+" << std::hex << static_cast<int>(unit);
        }
        EXPECT_EQ(wrong, 0u);
    }
}
