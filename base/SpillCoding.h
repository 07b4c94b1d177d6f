#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

// How the entries of a SpillList are written to its temporary file and read
// back: integers as varints, reals as the machine holds them and texts as their
// UTF-16 units, since the file is read back by the same process only. Each entry type
// T has the two functions
//
//   void SpillOut(SpillWriter& out, const T& entry);
//   void SpillIn(SpillReader& in, T& entry);
//
// The writer appends to a buffer of a whole batch, written to the file in one
// piece; the reader reads the file in large blocks. Both work on bytes directly:
// a stream over the file would pass each field through its buffer on its own,
// which cost a list of lost characters as much as the import's conversion.
class SpillWriter {
  public:
    explicit SpillWriter(std::string& bytes) : bytes_(bytes) {}

    // Integers as varints (7 bits a byte, the sign folded into the lowest bit):
    // the counts, places and characters of a list are mostly small.
    void Int(int64_t value) {
        auto bits = (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
        char bytes[10];
        size_t size = 0;
        for (; bits >= 0x80; bits >>= 7) bytes[size++] = static_cast<char>(bits | 0x80);
        bytes[size++] = static_cast<char>(bits);
        Raw(bytes, size);
    }
    void Real(double value) { Raw(&value, sizeof value); }
    void Byte(uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
    // A null text reads back null, an empty one empty.
    void Text(const QString& text) {
        Int(text.isNull() ? -1 : text.size());
        // constData(), not utf16(): that one would copy a literal to end it with a zero.
        if (!text.isEmpty())
            Raw(text.constData(), static_cast<size_t>(text.size()) * sizeof(char16_t));
    }
    void Bytes(const QByteArray& bytes) {
        Int(bytes.size());
        Raw(bytes.constData(), static_cast<size_t>(bytes.size()));
    }

  private:
    void Raw(const void* data, size_t size) { bytes_.append(static_cast<const char*>(data), size); }

    std::string& bytes_;
};

// Reads what a SpillWriter wrote, from a device open for reading. A read past
// the end of what was written (a file cut short) gives zeros and empty texts and
// marks the reader failed; the entries read before stay as they were.
class SpillReader {
  public:
    explicit SpillReader(QIODevice& device) : device_(device) {}

    int64_t Int() {
        uint64_t bits = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const uint8_t byte = Byte();
            bits |= static_cast<uint64_t>(byte & 0x7F) << shift;
            if (byte < 0x80) break;
        }
        return static_cast<int64_t>(bits >> 1) ^ -static_cast<int64_t>(bits & 1);
    }
    double Real() {
        double value = 0;
        Raw(&value, sizeof value);
        return value;
    }
    uint8_t Byte() {
        uint8_t value = 0;
        Raw(&value, sizeof value);
        return value;
    }
    QString Text() {
        const int64_t size = Int();
        if (size == 0 && !failed_) return QStringLiteral("");  // empty, as written
        if (size <= 0 || !Need(static_cast<size_t>(size) * sizeof(char16_t))) return {};
        QString text(static_cast<qsizetype>(size), Qt::Uninitialized);
        Raw(text.data(), static_cast<size_t>(size) * sizeof(char16_t));
        return text;
    }
    QByteArray Bytes() {
        const int64_t size = Int();
        if (size <= 0 || !Need(static_cast<size_t>(size))) return {};
        QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
        Raw(bytes.data(), static_cast<size_t>(size));
        return bytes;
    }
    bool Failed() const { return failed_; }

  private:
    static constexpr size_t kBlock = 256 * 1024;

    // Makes size bytes available from at_ on; false when the file ends before.
    bool Need(size_t size) {
        if (failed_) return false;
        const auto held = static_cast<size_t>(buffer_.size()) - at_;
        if (held >= size) return true;
        buffer_.remove(0, static_cast<qsizetype>(at_));
        at_ = 0;
        if (static_cast<qint64>(size - held) > device_.bytesAvailable()) {
            failed_ = true;
            return false;
        }
        const size_t wanted = std::max(size - held, kBlock);
        const qsizetype before = buffer_.size();
        buffer_.resize(before + static_cast<qsizetype>(wanted));
        const qint64 got = device_.read(buffer_.data() + before, static_cast<qint64>(wanted));
        buffer_.resize(before + (got > 0 ? got : 0));
        if (static_cast<size_t>(buffer_.size()) >= size) return true;
        failed_ = true;
        return false;
    }
    void Raw(void* data, size_t size) {
        if (!Need(size)) return;
        std::memcpy(data, buffer_.constData() + at_, size);
        at_ += size;
    }

    QIODevice& device_;
    QByteArray buffer_;
    size_t at_ = 0;
    bool failed_ = false;
};
