#include "CsvFile.h"
#include "FLanguageExport.h"
#include "SortedComboBox.h"
#include "TestSupport.h"
#include "TextBox.h"
#include "WidgetFixture.h"
#include "WidgetTestSupport.h"
#include "XliffFile.h"
#include "XlsWorkbook.h"
#include "XlsxWorkbook.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

// The export window, driven as a user drives it: the chooser is the real one
// over a registry store of the test's own; the file dialog and the message box
// are answered through their seams.
class FLanguageExportTest : public QObject, WidgetFixture {
    Q_OBJECT

  private:
    std::unique_ptr<FLanguageExport> window;
    QString project;

    template <typename T>
    T* Control(const char* name) {
        return ControlOf<T>(window.get(), name);
    }
    SortedComboBox* Languages() { return Control<SortedComboBox>("cboLanguages"); }
    SortedComboBox* References() { return Control<SortedComboBox>("cboReference"); }
    QPushButton* Export() { return Control<QPushButton>("cmdExport"); }

    // A registered project "Demo": German texts, Russian in their code-page form.
    void RegisterDemo(int64_t rows = 3) {
        const QString directory = folder->Path(QStringLiteral("Demo"));
        QDir().mkpath(directory);
        project = directory + QStringLiteral("/Demo.qrp");
        RunSql(project, QStringLiteral("CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031, "
                                       "L1049); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT "
                                       "i + 1 FROM n WHERE i < %1) INSERT INTO TidxTexts SELECT i, "
                                       "'Text ' || i, 'Òåêñò ' || i FROM n; UPDATE TidxTexts SET "
                                       "L1049 = NULL WHERE ID = 2")
                            .arg(rows));
        store->Register(QStringLiteral("Demo"), QStringLiteral("Single"), directory);
    }
    // Opens the chooser with the binoculars and double-clicks the project of that row.
    void ChooseDemo(int row = 0) {
        AnswerNextModalDialog(this, [row](QDialog* dialog) {
            auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvwRegisteredProjects"));
            DoubleClick(list->viewport(), list->visualItemRect(list->topLevelItem(row)).center());
        });
        QTest::mouseClick(Control<QPushButton>("cmdSearchProject"), Qt::LeftButton);
    }
    void Select(SortedComboBox* list, int32_t lcid) { SelectLanguage(list, lcid); }
    // Chooses the file in the save dialog.
    void ChooseFile(const QString& path) {
        dialogAnswer = path;
        QTest::mouseClick(Control<QPushButton>("cmdSearchExportFile"), Qt::LeftButton);
    }

  private slots:
    void init() {
        Start();
        window = std::make_unique<FLanguageExport>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        window.reset();
        Stop();
    }

    void looksLikeTheImportWindow() {
        QCOMPARE(window->windowTitle(), QStringLiteral("QuorvinStudio - Sprache exportieren"));
        QCOMPARE(window->size(), QSize(421, 305));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(window->windowIcon().availableSizes().contains(QSize(16, 16)));
        QCOMPARE(Control<QFrame>("fra")->geometry(), QRect(4, 2, 413, 263));
        const std::vector<std::tuple<const char*, QString, QRect>> controls{
            {"lbl_0", QStringLiteral("&Projektname"), QRect(12, 16, 241, 13)},
            {"lbl_2", QStringLiteral("Zu exportierende &Sprache"), QRect(12, 100, 241, 13)},
            {"lbl_3", QStringLiteral("&Referenzsprache, zum Lesen daneben"),
             QRect(12, 144, 241, 13)},
            {"chkMissingOnly", QStringLiteral("&Nur fehlende Texte"), QRect(8, 188, 241, 17)},
            {"cmdExport", QStringLiteral("&Exportieren"), QRect(232, 276, 89, 25)},
            {"cmdClose", QStringLiteral("&Beenden"), QRect(328, 276, 89, 25)}};
        for (const auto& [name, text, rect] : controls) {
            QWidget* control = Control<QWidget>(name);
            QCOMPARE(control->geometry(), rect);
            const QString shown = qobject_cast<QAbstractButton*>(control)
                                      ? qobject_cast<QAbstractButton*>(control)->text()
                                      : control->property("text").toString();
            QCOMPARE(shown, text);
        }
        QVERIFY(!Export()->isEnabled());
        QVERIFY(!Languages()->isEnabled());
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY2(!window->isVisible(), "Escape closes the window");
    }

    void exportIsEnabledByProjectLanguageAndFile() {
        RegisterDemo();
        ChooseDemo();
        QCOMPARE(Control<TextBox>("txtName")->text(), QStringLiteral("Demo"));
        QCOMPARE(References()->currentText(), QStringLiteral("(keine)"));
        QCOMPARE(Languages()->count(), 2);
        QVERIFY(!Export()->isEnabled());
        Select(Languages(), 1049);
        QVERIFY2(!Export()->isEnabled(), "no file yet");
        ChooseFile(folder->Path(QStringLiteral("ru.xlsx")));
        QVERIFY(Export()->isEnabled());
        QCOMPARE(dialogs.back().mode, 2);  // the dialog saves
        QCOMPARE(dialogs.back().filter,
                 QStringLiteral("Excel-Arbeitsmappe (*.xlsx)|*.xlsx|Excel 97-2003-Arbeitsmappe "
                                "(*.xls)|*.xls|CSV UTF-8 (*.csv)|*.csv|XLIFF 1.2 "
                                "(*.xlf;*.xliff)|*.xlf;*.xliff"));
        // The reference cannot be the language exported.
        Select(References(), 1049);
        QCOMPARE(References()->currentText(), QStringLiteral("(keine)"));
        Select(References(), 1031);
        Select(Languages(), 1031);
        QCOMPARE(References()->currentText(), QStringLiteral("(keine)"));
        // A cancelled dialog keeps the file chosen before.
        ChooseFile(QString());
        QCOMPARE(Control<TextBox>("txtExportFile")->text(),
                 folder->Path(QStringLiteral("ru.xlsx")));
    }

    // Each filter's format is written, with the texts in their real characters.
    void eachFormatIsWrittenAndSaysSo() {
        RegisterDemo();
        ChooseDemo();
        Select(Languages(), 1049);
        Select(References(), 1031);
        for (const char* extension : {"xlsx", "xls", "csv", "xlf"}) {
            const QString file = folder->Path(QStringLiteral("ru.") + QLatin1String(extension));
            ChooseFile(file);
            messages->messages.clear();
            QTest::mouseClick(Export(), Qt::LeftButton);
            QCOMPARE(messages->messages.size(), size_t{1});
            QCOMPARE(messages->messages[0].text,
                     QStringLiteral("3 Texte nach \u201E%1\u201C exportiert.").arg(file));
            const SourceTable table =
                QByteArray(extension) == "xlsx"
                    ? XlsxWorkbook(file).ReadSheet(QStringLiteral("TidxTexts"))
                : QByteArray(extension) == "xls"
                    ? XlsWorkbook(file).ReadSheet(QStringLiteral("TidxTexts"))
                : QByteArray(extension) == "csv" ? CsvFile::Read(file)
                                                 : XliffFile::Read(file, 1049);
            QCOMPARE(table.rows.back().back().ToText(), QStringLiteral("Текст 3"));
        }
        // Only the missing texts: the one without Russian.
        Control<QCheckBox>("chkMissingOnly")->setChecked(true);
        ChooseFile(folder->Path(QStringLiteral("fehlt.csv")));
        messages->messages.clear();
        QTest::mouseClick(Export(), Qt::LeftButton);
        QCOMPARE(messages->messages[0].text.left(6), QStringLiteral("1 Text"));
        QCOMPARE(CsvFile::Read(folder->Path(QStringLiteral("fehlt.csv"))).rows.size(), size_t{1});
    }

    // Cancelled, a long export writes no file; a failed one leaves the file there
    // as it was and shows the error with its number.
    void cancelledOrFailedExportsLeaveTheFileAlone() {
        RegisterDemo(1000000);
        ChooseDemo();
        Select(Languages(), 1049);
        const QString file = folder->Path(QStringLiteral("gross.xlsx"));
        ChooseFile(file);
        QString label;
        AnswerNextModalDialog(this, [&](QDialog* dialog) {
            auto* progress = qobject_cast<QProgressDialog*>(dialog);
            QVERIFY(progress);
            label = progress->labelText();
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        });
        QTest::mouseClick(Export(), Qt::LeftButton);
        QVERIFY2(label.startsWith(QStringLiteral("Die Sprache wird exportiert: ")),
                 qPrintable(label));
        QVERIFY(messages->messages.empty());
        QVERIFY(!QFile::exists(file));
        QCOMPARE(QDir(folder->Path(QString()))
                     .entryList(QStringList{QStringLiteral(".gross*")}, QDir::Hidden | QDir::Files),
                 QStringList());

        // .xls holds 65,535 texts: the export fails, the old file stays.
        const QString old = folder->Path(QStringLiteral("alt.xls"));
        QFile out(old);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("vorher");
        out.close();
        ChooseFile(old);
        QTest::mouseClick(Export(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY2(messages->messages[0].text.startsWith(
                     QStringLiteral("Fehler beim Exportieren einer Sprache!\n5: ")),
                 qPrintable(messages->messages[0].text));
        QCOMPARE(FileBytes(old), QByteArray("vorher"));
    }
};

QTEST_MAIN(FLanguageExportTest)
#include "FLanguageExportTest.moc"
