#include "CodePage.h"
#include "CodePageConverter.h"
#include "CodePageRecoder.h"
#include "LanguageRecoding.h"

#include <gtest/gtest.h>

// The character-by-character conversion against the two-step one it stands in
// for (the text encoded in the writing page, decoded in the reading page), and
// against its rule for what a text holds.
namespace {

QByteArray Recoded(CodePageRecoder& recoder, const QByteArray& utf8,
                   CodePageRecoder::Result* result = nullptr) {
    QByteArray out = "stale";
    const auto r = recoder.Recode(utf8.constData(), static_cast<size_t>(utf8.size()), out);
    if (result) *result = r;
    return out;
}

QString EveryBmpCharacter() {
    QString text;
    for (char32_t c = 1; c <= 0xFFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF) text.append(QChar(static_cast<char16_t>(c)));
    return text;
}

TEST(CodePageRecoder, EveryCharacterRecodesAsTheTwoStepConversion) {
    const QString all = EveryBmpCharacter() + QString::fromUcs4(U"\U0001F600x");
    const std::vector<int> writing = {874,  932,  936,  949,  950,  1250, 1251,
                                      1252, 1253, 1254, 1255, 1256, 1257, 1258};
    for (int reading : {1252, 1251, 1253, 874}) {
        for (int page : writing) {
            auto recoder = CodePageRecoder::For(page, reading);
            ASSERT_TRUE(recoder) << page << " read as " << reading;
            CodePageConverter write(page), read(reading);
            const QByteArray bytes = write.Encode(all);
            const QString expected = read.Decode(bytes.constData(), size_t(bytes.size()));
            CodePageRecoder::Result result{};
            EXPECT_EQ(Recoded(*recoder, all.toUtf8(), &result), expected.toUtf8())
                << page << " read as " << reading;
            EXPECT_EQ(result, CodePageRecoder::Result::Lost);

            // Held exactly when the character's bytes read back as it in the writing page.
            int held = 0;
            for (qsizetype i = 0; i < all.size(); ++i) {
                const qsizetype length = all[i].isHighSurrogate() ? 2 : 1;
                const QString character = all.mid(i, length);
                i += length - 1;
                const QByteArray own = write.Encode(character);
                const bool expectHeld =
                    page == reading
                        ? read.Decode(own.constData(), size_t(own.size())) == character
                        : write.Decode(own.constData(), size_t(own.size())) == character;
                Recoded(*recoder, character.toUtf8(), &result);
                ASSERT_EQ(result == CodePageRecoder::Result::Held, expectHeld)
                    << page << " read as " << reading << ": "
                    << character.toUtf8().toHex().toStdString();
                held += expectHeld;
            }
            // A single-byte page holds fewer than 256 characters, a double-byte one thousands.
            EXPECT_GT(held, 100);
        }
    }
}

TEST(CodePageRecoder, BytesThatAreNoCharactersAreLeftToTheCaller) {
    auto recoder = CodePageRecoder::For(1251, 1252);
    ASSERT_TRUE(recoder);
    CodePageRecoder::Result result{};
    for (const QByteArray& bad :
         {QByteArray("ab\xC3"), QByteArray("\x80"), QByteArray("\xC0\x80"),
          QByteArray("\xE0\x80\x80"), QByteArray("\xED\xA0\x80"), QByteArray("\xF4\x90\x80\x80"),
          QByteArray("\xF0\x9F\x98"), QByteArray("\xFF"), QByteArray("a\xD0 ")}) {
        Recoded(*recoder, bad, &result);
        EXPECT_EQ(result, CodePageRecoder::Result::NotPlain) << bad.toHex().toStdString();
    }
    EXPECT_EQ(Recoded(*recoder, QStringLiteral("Выход").toUtf8(), &result),
              QStringLiteral("Âûõîä").toUtf8());
    EXPECT_EQ(result, CodePageRecoder::Result::Held);
    EXPECT_EQ(Recoded(*recoder, QByteArray(), &result), QByteArray());
    EXPECT_EQ(result, CodePageRecoder::Result::Held);
    // A text far longer than the recoder's first guess of its length.
    const QString many(100000, QChar(u'\u0416'));
    EXPECT_EQ(Recoded(*recoder, many.toUtf8()), QString(100000, QChar(u'\u00C6')).toUtf8());

    // Pages that are read two bytes at a time have no recoder.
    EXPECT_FALSE(CodePageRecoder::For(1251, 932));
    EXPECT_FALSE(CodePageRecoder::For(1251, 0));
}

// The import's conversion of UTF-8 texts gives what its conversion of texts gives,
// lost characters and texts that are no well-formed UTF-8 included.
TEST(CodePageRecoder, TheImportConvertsUtf8TextsAsItConvertsTexts) {
    CodePage::SetSystemAnsiCodePage(1252);
    for (int lcid : {1049, 1041, 1031}) {
        LanguageRecoding recoding(lcid);
        for (const QByteArray& utf8 :
             {QStringLiteral("Выход").toUtf8(), QStringLiteral("ソ能 ｶﾀｶﾅ €").toUtf8(),
              QStringLiteral("Ā ∞ 😀 Größe").toUtf8(), QStringLiteral("ßäß ÄÖÜ „x“ ∞∞").toUtf8(),
              QByteArray("bad \xC3 bytes \xED\xA0\x80"), QByteArray("plain")}) {
            SpillList<LossyText> fromText, fromUtf8;
            const QString expected = recoding.Convert(7, 3, QString::fromUtf8(utf8), fromText);
            QByteArray converted = utf8;
            recoding.Convert(7, 3, converted, fromUtf8);
            EXPECT_EQ(converted, expected.toUtf8()) << lcid << ' ' << utf8.toStdString();
            ASSERT_EQ(fromUtf8.size(), fromText.size());
            for (size_t i = 0; i < fromText.size(); ++i) {
                ASSERT_EQ(fromUtf8[i].characters.size(), fromText[i].characters.size());
                EXPECT_EQ(fromUtf8[i].row, 3);
                for (size_t k = 0; k < fromText[i].characters.size(); ++k) {
                    const LossyCharacter &got = fromUtf8[i].characters[k],
                                         &want = fromText[i].characters[k];
                    EXPECT_EQ(got.character, want.character);
                    EXPECT_EQ(got.replacement, want.replacement);
                    EXPECT_EQ(got.bestFit, want.bestFit);
                }
            }
        }
    }
}

// What the report says of lost characters, as Windows converts them: each time a
// character occurs, with what the code page made of it and whether that was a
// similar character or the default "?".
TEST(CodePageRecoder, LostCharactersAreListedAsTheyOccur) {
    CodePage::SetSystemAnsiCodePage(1252);
    struct Case {
        int32_t lcid;
        const char* text;
        std::vector<std::tuple<char32_t, const char*, bool>> lost;
    };
    const std::vector<Case> cases = {
        {1049, "Größe", {{U'ö', "o", true}, {U'ß', "?", false}}},
        {1049, "ßaß", {{U'ß', "?", false}, {U'ß', "?", false}}},
        {1049, "Выход", {}},
        {1031, "Ā ∞", {{U'Ā', "A", true}, {U'∞', "8", true}}},
        {1031, "😀", {{U'\U0001F600', "?", false}}},
    };
    for (const Case& c : cases) {
        LanguageRecoding recoding(c.lcid);
        SpillList<LossyText> lossy;
        QByteArray utf8(c.text);
        recoding.Convert(5, 9, utf8, lossy);
        SCOPED_TRACE(c.text);
        if (c.lost.empty()) {
            EXPECT_TRUE(lossy.empty());
            continue;
        }
        ASSERT_EQ(lossy.size(), 1u);
        EXPECT_EQ(lossy[0].id, 5);
        ASSERT_EQ(lossy[0].characters.size(), c.lost.size());
        for (size_t k = 0; k < c.lost.size(); ++k) {
            EXPECT_EQ(lossy[0].characters[k].character, std::get<0>(c.lost[k]));
            EXPECT_EQ(lossy[0].characters[k].replacement,
                      QString::fromUtf8(std::get<1>(c.lost[k])));
            EXPECT_EQ(lossy[0].characters[k].bestFit, std::get<2>(c.lost[k]));
        }
    }
}

}  // namespace
