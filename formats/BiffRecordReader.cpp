#include "BiffRecordReader.h"

#include "CodePageConverter.h"

#include <cstring>

BiffRecordReader::BiffRecordReader(std::span<const std::span<const uint8_t>> segments)
    : segments_(segments) {
    for (const auto& seg : segments_) remaining_ += seg.size();
    NextSegmentIfDone();
}

BiffRecordReader::BiffRecordReader(std::span<const std::span<const uint8_t>> segments, Position at)
    : segments_(segments), segment_(at.segment), offset_(at.offset), remaining_(at.remaining) {
    NextSegmentIfDone();
}

void BiffRecordReader::NextSegment() {
    while (segment_ < segments_.size() && offset_ >= segments_[segment_].size()) {
        ++segment_;
        offset_ = 0;
    }
}

size_t BiffRecordReader::Remaining() const { return remaining_; }

uint8_t BiffRecordReader::U8() {
    NextSegmentIfDone();
    if (segment_ >= segments_.size()) throw FileDamaged{"Datensatz zu kurz"};
    uint8_t value = segments_[segment_][offset_++];
    --remaining_;
    NextSegmentIfDone();
    return value;
}

double BiffRecordReader::F64() {
    uint64_t bits = U32();
    bits |= static_cast<uint64_t>(U32()) << 32;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void BiffRecordReader::Skip(size_t count) {
    while (count > 0) {
        NextSegmentIfDone();
        if (segment_ >= segments_.size()) throw FileDamaged{"Datensatz zu kurz"};
        size_t step = std::min(count, segments_[segment_].size() - offset_);
        offset_ += step;
        remaining_ -= step;
        count -= step;
    }
    NextSegmentIfDone();
}

template <typename Take>
void BiffRecordReader::Biff8Runs(uint32_t count, uint8_t options, Take take) {
    bool wide = options & 0x01;
    size_t done = 0;
    while (done < count) {
        NextSegmentIfDone();
        if (segment_ >= segments_.size())
            throw FileDamaged{"Text reicht über seinen Datensatz hinaus"};
        const auto& seg = segments_[segment_];
        size_t width = wide ? 2 : 1;
        size_t available = (seg.size() - offset_) / width;
        if (available == 0) throw FileDamaged{"Text teilt ein Zeichen"};
        size_t run = std::min<size_t>(available, count - done);
        take(seg.data() + offset_, run, wide);
        done += run;
        offset_ += run * width;
        remaining_ -= run * width;
        if (done < count) {
            // The characters go on in the next CONTINUE record, which starts with
            // an option byte that says whether they are compressed.
            if (offset_ != seg.size()) throw FileDamaged{"Text teilt ein Zeichen"};
            ++segment_;
            offset_ = 0;
            if (segment_ >= segments_.size() || segments_[segment_].empty())
                throw FileDamaged{"Text reicht über seinen Datensatz hinaus"};
            wide = segments_[segment_][offset_++] & 0x01;
            --remaining_;
        }
    }
    NextSegmentIfDone();
}

template <typename Body>
void BiffRecordReader::Biff8StringWith(bool longCount, Body body) {
    uint32_t count = longCount ? U16() : U8();
    uint8_t options = U8();
    uint16_t runs = 0;
    uint32_t extSize = 0;
    if (options & 0x08) runs = U16();
    if (options & 0x04) extSize = U32();
    body(count, options);
    Skip(static_cast<size_t>(runs) * 4);
    Skip(extSize);
}

QString BiffRecordReader::Biff8String(bool longCount) {
    QString text;
    Biff8StringWith(longCount,
                    [&](uint32_t count, uint8_t options) { text = Biff8Chars(count, options); });
    return text;
}

void BiffRecordReader::SkipBiff8String(bool longCount) {
    Biff8StringWith(longCount, [&](uint32_t count, uint8_t options) {
        Biff8Runs(count, options, [](const uint8_t*, size_t, bool) {});
    });
}

QString BiffRecordReader::Biff8Chars(uint32_t count, uint8_t options) {
    QString text;
    text.reserve(static_cast<qsizetype>(std::min<size_t>(count, Remaining())));
    Biff8Runs(count, options, [&](const uint8_t* p, size_t take, bool wide) {
        const qsizetype start = text.size();
        text.resize(start + static_cast<qsizetype>(take));
        char16_t* out = reinterpret_cast<char16_t*>(text.data()) + start;
        if (wide)
            for (size_t i = 0; i < take; ++i)
                out[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        else
            for (size_t i = 0; i < take; ++i) out[i] = static_cast<char16_t>(p[i]);
    });
    return text;
}

QString BiffRecordReader::Biff5String(bool longCount, CodePageConverter& codePage) {
    uint32_t count = longCount ? U16() : U8();
    if (count > Remaining()) throw FileDamaged{"Text reicht über seinen Datensatz hinaus"};
    std::string bytes;
    bytes.reserve(count);
    for (uint32_t i = 0; i < count; ++i) bytes.push_back(static_cast<char>(U8()));
    return codePage.Decode(bytes.data(), bytes.size());
}
