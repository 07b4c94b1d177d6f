#include "UpdateStatement.h"

#include <gtest/gtest.h>

namespace {

const char* kImport =
    "UPDATE [SELECT TidxTexts.L1031, TidxTemp.L1031 FROM TidxTexts INNER JOIN TidxTemp ON "
    "TidxTexts.ID = "
    "Val(TidxTemp.ID)]. AS Temp SET TidxTexts.L1031 = TidxTemp.L1031;";

TEST(UpdateStatement, ReadsTheImportStatement) {
    auto s = UpdateStatement::Parse(QString::fromUtf8(kImport));
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->targetTable, QStringLiteral("TidxTexts"));
    EXPECT_EQ(s->targetColumn, QStringLiteral("L1031"));
    EXPECT_EQ(s->targetKey, QStringLiteral("ID"));
    EXPECT_EQ(s->sourceTable, QStringLiteral("TidxTemp"));
    EXPECT_EQ(s->sourceColumn, QStringLiteral("L1031"));
    EXPECT_EQ(s->sourceKey, QStringLiteral("ID"));
}

TEST(UpdateStatement, AcceptsAnyLanguageColumnCaseAndSpacing) {
    auto s = UpdateStatement::Parse(
        QStringLiteral("update [select tidxtexts.L-1, tidxtemp.L-1 from tidxtexts inner join "
                       "tidxtemp on tidxtexts.id=val( tidxtemp.id )]"
                       ".  as T set tidxtexts.L-1=tidxtemp.L-1"));
    ASSERT_TRUE(s.has_value()) << "the column of a negative LCID";
    EXPECT_EQ(s->targetColumn, QStringLiteral("L-1"));
    s = UpdateStatement::Parse(
        QStringLiteral("update [select tidxtexts.L1049, tidxtemp.L1049 from tidxtexts inner join "
                       "tidxtemp on tidxtexts.id=val( tidxtemp.id )]"
                       ".  as T set tidxtexts.L1049=tidxtemp.L1049"));
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->targetColumn, QStringLiteral("L1049"));
}

TEST(UpdateStatement, RejectsOtherStatements) {
    for (const char* text : {
             "DELETE FROM TidxTexts;",
             "SELECT * FROM TidxTexts;",
             "",
             // the columns set are not the columns selected
             "UPDATE [SELECT TidxTexts.L1031, TidxTemp.L1031 FROM TidxTexts INNER JOIN TidxTemp ON "
             "TidxTexts.ID = "
             "Val(TidxTemp.ID)]. AS Temp SET TidxTexts.L1033 = TidxTemp.L1033;",
             // the update runs the wrong way
             "UPDATE [SELECT TidxTexts.L1031, TidxTemp.L1031 FROM TidxTexts INNER JOIN TidxTemp ON "
             "TidxTexts.ID = "
             "Val(TidxTemp.ID)]. AS Temp SET TidxTemp.L1031 = TidxTexts.L1031;",
             // no Val on the key
             "UPDATE [SELECT TidxTexts.L1031, TidxTemp.L1031 FROM TidxTexts INNER JOIN TidxTemp ON "
             "TidxTexts.ID = "
             "TidxTemp.ID]. AS Temp SET TidxTexts.L1031 = TidxTemp.L1031;",
             // a second statement behind the first
             "UPDATE [SELECT TidxTexts.L1031, TidxTemp.L1031 FROM TidxTexts INNER JOIN TidxTemp ON "
             "TidxTexts.ID = "
             "Val(TidxTemp.ID)]. AS Temp SET TidxTexts.L1031 = TidxTemp.L1031; DROP TABLE "
             "TidxTexts;",
         })
        EXPECT_FALSE(UpdateStatement::Parse(QString::fromUtf8(text)).has_value()) << text;
}

}  // namespace
