#include "BiffSharedStrings.h"

#include <algorithm>

void BiffSharedStrings::Read(std::span<const std::span<const uint8_t>> segments) {
    segments_.assign(segments.begin(), segments.end());
    starts_.clear();
    BiffRecordReader reader(segments_);
    reader.U32();  // total references
    const uint32_t unique = reader.U32();
    // Each string takes at least 3 bytes: a count above that is damage, not memory to take.
    starts_.reserve(std::min<size_t>(unique, reader.Remaining() / 3));
    for (uint32_t i = 0; i < unique && !reader.AtEnd(); ++i) {
        starts_.push_back(reader.Where());
        reader.SkipBiff8String(true);
    }
}

QString BiffSharedStrings::At(size_t index) const {
    BiffRecordReader reader(segments_, starts_[index]);
    return reader.Biff8String(true);
}
