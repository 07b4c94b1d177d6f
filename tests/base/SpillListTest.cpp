#include "ImportReport.h"
#include "SpillList.h"

#include <gtest/gtest.h>

#include <vector>

// The report lists keep a batch in memory and the rest in a file of their own:
// whatever the length, they read back as a vector would hold them.
namespace {

LossyText Text(size_t i) {
    LossyText text{static_cast<double>(i), static_cast<int64_t>(i) + 1, {}};
    for (size_t k = 0; k < i % 3; ++k)
        text.characters.push_back(
            {U'ß' + static_cast<char32_t>(k), QStringLiteral("?%1").arg(i), k % 2 == 0});
    return text;
}

void ExpectHolds(const SpillList<LossyText>& list, const std::vector<size_t>& expected) {
    ASSERT_EQ(list.size(), expected.size());
    EXPECT_EQ(list.empty(), expected.empty());
    size_t n = 0;
    for (const LossyText& text : list) {
        ASSERT_LT(n, expected.size());
        const LossyText want = Text(expected[n++]);
        EXPECT_EQ(text.id, want.id);
        EXPECT_EQ(text.row, want.row);
        ASSERT_EQ(text.characters.size(), want.characters.size()) << text.id;
        for (size_t k = 0; k < want.characters.size(); ++k) {
            EXPECT_EQ(text.characters[k].character, want.characters[k].character);
            EXPECT_EQ(text.characters[k].replacement, want.characters[k].replacement);
            EXPECT_EQ(text.characters[k].bestFit, want.characters[k].bestFit);
        }
    }
    EXPECT_EQ(n, expected.size());
}

TEST(SpillList, ReadsBackWhatWasAddedAtEveryLength) {
    const size_t batch = SpillList<LossyText>::kBatch;
    for (const size_t count : {size_t{0}, size_t{1}, batch, batch + 1, 3 * batch + 7}) {
        SCOPED_TRACE(count);
        SpillList<LossyText> list;
        std::vector<size_t> added;
        for (size_t i = 0; i < count; ++i) {
            list.push_back(Text(i));
            added.push_back(i);
        }
        ExpectHolds(list, added);
        if (count > 0) {
            EXPECT_EQ(list[0].id, 0) << "the first entry, spilled or not";
            EXPECT_EQ(list[count / 2].id, static_cast<double>(count / 2));
            EXPECT_EQ(list[count - 1].id, static_cast<double>(count - 1));
        }
        // Two readers at once each read the whole list.
        auto first = list.begin(), second = list.begin();
        if (count > 1) {
            ++first;
            EXPECT_EQ(first->id, 1);
            EXPECT_EQ(second->id, 0);
        }

        // Dropping keeps the order of the rest; copies and moves hold the same.
        list.RemoveIf([](const LossyText& text) { return static_cast<size_t>(text.id) % 5 == 0; });
        std::erase_if(added, [](size_t i) { return i % 5 == 0; });
        ExpectHolds(list, added);
        const SpillList<LossyText> copy = list;
        list.push_back(Text(count + 1));
        ExpectHolds(copy, added);
        SpillList<LossyText> moved = std::move(list);
        added.push_back(count + 1);
        ExpectHolds(moved, added);
        moved.clear();
        ExpectHolds(moved, {});
        moved.push_back(Text(2));
        ExpectHolds(moved, {2});
    }
}

}  // namespace
