#include "FileTools.h"
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(FileTools, ExtensionIsLowerCaseWithoutDot) {
    FileTools files;
    EXPECT_EQ(files.GetExtension(QStringLiteral("/data/texte.xls")), QStringLiteral("xls"));
    EXPECT_EQ(files.GetExtension(QStringLiteral("/data/TEXTE.XLS")), QStringLiteral("xls"));
    EXPECT_EQ(files.GetExtension(QStringLiteral("/data/Projekt.Qrp")), QStringLiteral("qrp"));
    EXPECT_EQ(files.GetExtension(QStringLiteral("/data/archiv.tar.gz")), QStringLiteral("gz"));
    EXPECT_EQ(files.GetExtension(QStringLiteral("/data/ohne")), QString());
    EXPECT_EQ(files.GetExtension(QStringLiteral("/ordner.x/ohne")), QString());
    EXPECT_EQ(files.GetExtension(QString()), QString());
}

TEST(FileTools, FileExistsOnlyForFiles) {
    TempFolder folder;
    FileTools files;
    QString file = folder.Copy(QStringLiteral("excel/empty-strings.xls"));
    EXPECT_TRUE(files.FileExists(file));
    EXPECT_FALSE(files.FileExists(folder.Path(QStringLiteral("fehlt.qrp"))));
    EXPECT_FALSE(files.FileExists(folder.Path(QString())));
    EXPECT_FALSE(files.FileExists(QString()));
    EXPECT_FALSE(files.FileExists(folder.Path(QStringLiteral("."))));  // a folder
    // Links count as what they point at; one pointing nowhere is no file.
    ASSERT_TRUE(QFile::link(file, folder.Path(QStringLiteral("verweis.xls"))));
    EXPECT_TRUE(files.FileExists(folder.Path(QStringLiteral("verweis.xls"))));
    ASSERT_TRUE(QFile::link(folder.Path(QStringLiteral("fehlt.qrp")),
                            folder.Path(QStringLiteral("ins-leere.qrp"))));
    EXPECT_FALSE(files.FileExists(folder.Path(QStringLiteral("ins-leere.qrp"))));
}

TEST(FileTools, OpenDialogGoesThroughItsHandler) {
    FileTools files;
    FileTools::OpenDialogRequest seen{};
    auto previous =
        FileTools::SetOpenDialogHandler([&](const FileTools::OpenDialogRequest& request) {
            seen = request;
            return QStringLiteral("/tmp/x.xls");
        });
    EXPECT_EQ(files.ShowOpenDialog(1, QStringLiteral("Titel"), QString(), QStringLiteral("A|*.a"),
                                   4100, 7),
              QStringLiteral("/tmp/x.xls"));
    EXPECT_EQ(seen.flags, 4100);
    EXPECT_EQ(seen.title, QStringLiteral("Titel"));
    EXPECT_EQ(seen.owner, 7u);
    FileTools::SetOpenDialogHandler(nullptr);
    EXPECT_EQ(files.ShowOpenDialog(1, QString(), QString(), QString(), 4100, 0), QString());
    FileTools::SetOpenDialogHandler(previous);
}

}  // namespace
