#include "CodePage.h"
#include "FLanguageTransfer.h"
#include "FileTools.h"
#include "FillProjectList.h"
#include "MLanguageTransfer.h"
#include "RegistryFixture.h"
#include "RegistryStore.h"
#include "RegistryTools.h"
#include "RuntimeError.h"
#include "SortedComboBox.h"
#include "TestSupport.h"
#include "TextBox.h"
#include "WidgetFixture.h"
#include "WidgetTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <unicode/uloc.h>
#include <functional>
#include <memory>

// The tool from start to finish: a real registry store, real project files, the
// real chooser and the real import window. Only the open-file dialog and the
// message boxes are answered through their seams.
class ChooseProjectTest : public QObject, WidgetFixture {
    Q_OBJECT

  private:
    std::unique_ptr<FLanguageTransfer> window;
    QString demoDir, plantDir;

    template <typename T>
    T* Control(const char* name) {
        return ControlOf<T>(window.get(), name);
    }
    TextBox* Name() { return Control<TextBox>("txtName"); }
    TextBox* Path() { return Control<TextBox>("txtPath"); }
    SortedComboBox* Languages() { return Control<SortedComboBox>("cboLanguages"); }
    QPushButton* Import() { return Control<QPushButton>("cmdImport"); }

    // Clicks the project button and answers the chooser with the given actions.
    void Choose(const std::function<void(QDialog*)>& actions) {
        AnswerNextModalDialog(this, actions);
        QTest::mouseClick(Control<QPushButton>("cmdSearchProject"), Qt::LeftButton);
    }
    // Opens the project of that row with a double click.
    void ChooseRow(int row) {
        Choose([row](QDialog* dialog) {
            auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvwRegisteredProjects"));
            DoubleClick(list->viewport(), list->visualItemRect(list->topLevelItem(row)).center());
        });
    }
    void SelectLanguage(int32_t lcid) { ::SelectLanguage(Languages(), lcid); }

  private slots:
    void init() {
        Start();
        demoDir = folder->Path(QStringLiteral("Demo"));
        plantDir = folder->Path(QStringLiteral("Anlage"));
        QDir().mkpath(demoDir);
        QDir().mkpath(plantDir);
        WriteProject(demoDir + QStringLiteral("/Demo.qrp"),
                     {{1, "Datei", "File", "alt"}, {2, "Bearbeiten", "Edit", "alt"}});
        RunSql(plantDir + QStringLiteral("/Anlage.qrp"),
               QStringLiteral("CREATE TABLE TidxTexts(ID INTEGER, L1036 TEXT)"));
        store->Register(QStringLiteral("Demo"), QStringLiteral("Single"), demoDir);
        store->Register(QStringLiteral("Anlage"), QStringLiteral("Client"), plantDir);
        window = std::make_unique<FLanguageTransfer>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        window.reset();
        Stop();
    }

    void wholeImportFromChoosingTheProjectToTheSuccessBox() {
        ChooseRow(0);
        QCOMPARE(Name()->text(), QStringLiteral("Demo"));
        QCOMPARE(Path()->text(), demoDir);
        QCOMPARE(Languages()->count(), 3);
        QCOMPARE(Languages()->itemText(0), QStringLiteral("Deutsch (Deutschland) [1031]"));
        QCOMPARE(Languages()->itemText(1), QStringLiteral("Englisch (Vereinigte Staaten) [1033]"));
        QCOMPARE(Languages()->itemText(2), QStringLiteral("Russisch (Russland) [1049]"));
        QCOMPARE(Languages()->ItemData(2), 1049);
        QCOMPARE(Languages()->currentIndex(), -1);
        QVERIFY(Languages()->isEnabled());
        QVERIFY(!Import()->isEnabled());

        SelectLanguage(1049);
        dialogAnswer = folder->Copy(QStringLiteral("excel/empty-strings.xls"));
        QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
        QVERIFY(Import()->isEnabled());
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY(messages->messages[0].text.startsWith(
            QStringLiteral("Sprache erfolgreich importiert!\n\n")));
        auto texts = ReadColumn(demoDir + QStringLiteral("/Demo.qrp"), QStringLiteral("L1049"));
        QCOMPARE(texts[1].ToText(),
                 QString::fromUtf16(u"\u00C4\u00E0"));  // "Да" as code-page 1251 bytes
        QCOMPARE(texts[2].ToText(), QString());         // an empty string overwrote
    }

    void choosingTheSameProjectAgainLosesTheSelection() {
        ChooseRow(0);
        SelectLanguage(1031);
        Control<TextBox>("txtImportQRP")->setText(QStringLiteral("/q/texte.xls"));
        QVERIFY(Import()->isEnabled());
        ChooseRow(0);
        QCOMPARE(Languages()->currentIndex(), -1);
        QCOMPARE(Languages()->count(), 3);
        QVERIFY(!Import()->isEnabled());
    }

    void choosingAnotherProjectRefillsTheList() {
        ChooseRow(0);
        SelectLanguage(1031);
        Control<TextBox>("txtImportQRP")->setText(QStringLiteral("/q/texte.xls"));
        ChooseRow(1);
        QCOMPARE(Name()->text(), QStringLiteral("Anlage"));
        QCOMPARE(Path()->text(), plantDir);
        QCOMPARE(Languages()->count(), 1);
        QCOMPARE(Languages()->itemText(0), QStringLiteral("Französisch (Frankreich) [1036]"));
        QVERIFY(!Import()->isEnabled());
    }

    void doubleClickInTheNameChoosesLikeTheButton() {
        AnswerNextModalDialog(this, [](QDialog* dialog) {
            auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvwRegisteredProjects"));
            DoubleClick(list->viewport(), list->visualItemRect(list->topLevelItem(1)).center());
        });
        QTest::mouseDClick(Name(), Qt::LeftButton);
        QCOMPARE(Name()->text(), QStringLiteral("Anlage"));
    }

    void chooserEndedWithTheEmptyTextClearsOnlyTheName() {
        ChooseRow(0);
        Choose([](QDialog* dialog) { dialog->close(); });
        QCOMPARE(Name()->text(), QString());
        QCOMPARE(Path()->text(), demoDir);
        QCOMPARE(Languages()->count(), 3);
        QVERIFY(!Languages()->isEnabled());
        QVERIFY(!Import()->isEnabled());
        QVERIFY(messages->messages.empty());
    }

    void registrationWithoutPathGivesAnEmptyDirectory() {
        // The registration loses its directory while the chooser is open.
        Choose([this](QDialog* dialog) {
            store->Write(
                "[Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects\\Demo]\nProjectType=Single\n");
            auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvwRegisteredProjects"));
            DoubleClick(list->viewport(), list->visualItemRect(list->topLevelItem(0)).center());
        });
        QCOMPARE(Name()->text(), QStringLiteral("Demo"));
        QCOMPARE(Path()->text(), QString());
        // The list is filled from "/Demo.qrp", which is not there: the error is shown,
        // the window lives on with what was done before it.
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY(messages->messages[0].text.startsWith(QStringLiteral("Laufzeitfehler '3024':")));
        QVERIFY(messages->messages[0].text.contains(QStringLiteral("'/Demo.qrp'")));
        QVERIFY(window->isVisible());
        QVERIFY(Languages()->isEnabled());
        QCOMPARE(Languages()->count(), 0);
    }

    void projectFileGoneOrDamagedIsShownAndTheWindowLives() {
        Choose([this](QDialog* dialog) {
            QFile::remove(demoDir + QStringLiteral("/Demo.qrp"));
            QFile damaged(demoDir + QStringLiteral("/Demo.qrp"));
            damaged.open(QIODevice::WriteOnly);
            damaged.write(QByteArray(2048, 'x'));
            damaged.close();
            auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvwRegisteredProjects"));
            DoubleClick(list->viewport(), list->visualItemRect(list->topLevelItem(0)).center());
        });
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY(messages->messages[0].text.startsWith(QStringLiteral("Laufzeitfehler '3343':")));
        QCOMPARE(Name()->text(), QStringLiteral("Demo"));
        QCOMPARE(Path()->text(), demoDir);
        QVERIFY(window->isVisible());
    }

    void projectWithoutTextTableIsShown() {
        RunSql(plantDir + QStringLiteral("/Anlage.qrp"),
               QStringLiteral("DROP TABLE TidxTexts; CREATE TABLE Andere(x)"));
        ChooseRow(1);
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY(messages->messages[0].text.startsWith(QStringLiteral("Laufzeitfehler '3265':")));
        QVERIFY(messages->messages[0].text.contains(QStringLiteral("TidxTexts")));
    }

    void fillLanguageListReadsOnlyUpperCaseLColumns() {
        const QString project = folder->Path(QStringLiteral("Spalten.qrp"));
        RunSql(project, QStringLiteral("CREATE TABLE TidxTexts(ID INTEGER, L1033 TEXT, l1049 TEXT, "
                                       "Lx1 TEXT, X1031 TEXT)"));
        RunSql(project, QStringLiteral("ALTER TABLE TidxTexts DROP COLUMN Lx1; ALTER TABLE "
                                       "TidxTexts ADD COLUMN L1031 TEXT"));
        SortedComboBox list;
        list.AddItem(QStringLiteral("vorher"));
        MLanguageTransfer::FillLanguageList(project, list);
        QCOMPARE(list.count(), 2);
        // Added in column order (1033, then 1031), sorted by name: the data went with its entry.
        QCOMPARE(list.itemText(0), QStringLiteral("Deutsch (Deutschland) [1031]"));
        QCOMPARE(list.ItemData(0), 1031);
        QCOMPARE(list.ItemData(1), 1033);
        QCOMPARE(list.currentIndex(), -1);
    }

    void fillLanguageListWithAnEmptyPathOnlyClears() {
        SortedComboBox list;
        list.AddItem(QStringLiteral("vorher"));
        MLanguageTransfer::FillLanguageList(QString(), list);
        QCOMPARE(list.count(), 0);
    }

    void fillLanguageListFailsOnColumnsThatAreNoLanguage() {
        struct Case {
            const char* columns;
            int number;
        };
        for (const Case& c : {Case{"L1031 TEXT, Lang TEXT", 13}, Case{"L99999999999 TEXT", 6},
                              Case{"L9999 TEXT", 5}, Case{"L1031 TEXT, L0 TEXT", 5}}) {
            const QString project = folder->Path(QStringLiteral("f%1.qrp").arg(c.number) +
                                                 QString::fromLatin1(c.columns).left(3));
            RunSql(project, QStringLiteral("CREATE TABLE TidxTexts(ID INTEGER, %1)")
                                .arg(QString::fromLatin1(c.columns)));
            SortedComboBox list;
            try {
                MLanguageTransfer::FillLanguageList(project, list);
                QFAIL(c.columns);
            } catch (const RuntimeError& error) {
                QCOMPARE(error.Number(), c.number);
            }
        }
        // A project without language columns gives an empty list and no error.
        const QString none = folder->Path(QStringLiteral("keine.qrp"));
        RunSql(none, QStringLiteral("CREATE TABLE TidxTexts(ID INTEGER, Bemerkung TEXT)"));
        SortedComboBox list;
        MLanguageTransfer::FillLanguageList(none, list);
        QCOMPARE(list.count(), 0);
    }
};

QTEST_MAIN(ChooseProjectTest)
#include "ChooseProjectTest.moc"
