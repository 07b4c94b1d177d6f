#include "MText.h"

#include <gtest/gtest.h>

namespace {

using MText::ConvertProjectType;

QString NameOf(const MText::ProjectTypeInput& value) {
    auto result = ConvertProjectType(value);
    EXPECT_TRUE(std::holds_alternative<QString>(result));
    return std::holds_alternative<QString>(result) ? std::get<QString>(result) : QString();
}

int32_t ValueOf(const QString& name) {
    auto result = ConvertProjectType(name);
    EXPECT_TRUE(std::holds_alternative<int32_t>(result)) << name.toStdString();
    return std::holds_alternative<int32_t>(result) ? std::get<int32_t>(result) : -999;
}

TEST(ConvertProjectType, EveryKindBothWays) {
    const std::pair<const char*, int32_t> kinds[] = {
        {"Single", 1},           {"Server", 2}, {"Client", 4},   {"Terminal Server", 8},
        {"Terminal Client", 16}, {"Group", 32}, {"QuorvinX", 64}};
    for (const auto& [name, value] : kinds) {
        EXPECT_EQ(NameOf(static_cast<double>(value)), QString::fromLatin1(name));
        EXPECT_EQ(ValueOf(QString::fromLatin1(name)), value);
    }
}

TEST(ConvertProjectType, ValuesOfNoSingleKindGiveTheEmptyText) {
    for (double value : {0.0, 3.0, -1.0, 128.0, 65535.0, 32.5})
        EXPECT_EQ(NameOf(value), QString()) << value;
    EXPECT_EQ(NameOf(32.0), QStringLiteral("Group"));
}

TEST(ConvertProjectType, NamesCompareExactly) {
    EXPECT_EQ(ValueOf(QStringLiteral("terminal server")), 0);
    EXPECT_EQ(ValueOf(QStringLiteral("TerminalServer")), 0);
    EXPECT_EQ(ValueOf(QStringLiteral("Terminal  Server")), 0);
    EXPECT_EQ(ValueOf(QStringLiteral(" Single")), 0);
    EXPECT_EQ(ValueOf(QStringLiteral("Single ")), 0);
    EXPECT_EQ(ValueOf(QString()), 0) << "the empty text is no number";
}

TEST(ConvertProjectType, NumericTextsAreComparedByTheirNumber) {
    EXPECT_EQ(NameOf(QStringLiteral("16")), QStringLiteral("Terminal Client"));
    EXPECT_EQ(NameOf(QStringLiteral("32")), QStringLiteral("Group"));
    EXPECT_EQ(NameOf(QStringLiteral(" 32 ")), QStringLiteral("Group"));
    EXPECT_EQ(NameOf(QStringLiteral("32.0")), QStringLiteral("Group"));
    EXPECT_EQ(NameOf(QStringLiteral("3.2E1")), QStringLiteral("Group"));
    EXPECT_EQ(NameOf(QStringLiteral("+1")), QStringLiteral("Single"));
    EXPECT_EQ(NameOf(QStringLiteral("7")), QString());
}

TEST(IsNumeric, PlainDigitsButNotNames) {
    for (const char* text : {"0", "32", " 32", "-5", "1.5", ".5", "1e3", "65535"})
        EXPECT_TRUE(MText::IsNumeric(QString::fromLatin1(text))) << text;
    for (const char* text :
         {"", " ", "Single", "Group", "QuorvinX", "Terminal Server", "3 2", "1e", "&H20", "."})
        EXPECT_FALSE(MText::IsNumeric(QString::fromLatin1(text))) << text;
}

}  // namespace
