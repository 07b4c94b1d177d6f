#include "CodePage.h"
#include "FLanguageTransfer.h"
#include "FileTools.h"
#include "MessageBox.h"
#include "QtDialogs.h"
#include "RuntimeError.h"
#include "SortedComboBox.h"
#include "TestSupport.h"
#include "TextBox.h"
#include "UndoStore.h"
#include "WidgetFixture.h"
#include "WidgetTestSupport.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include <memory>

// The import window, driven as a user drives it. The open-file dialog and the
// message box are answered through their seams; everything else is real.
class FLanguageTransferTest : public QObject, WidgetFixture {
    Q_OBJECT

  private:
    std::unique_ptr<FLanguageTransfer> window;

    template <typename T>
    T* Control(const char* name) {
        return ControlOf<T>(window.get(), name);
    }
    TextBox* Name() { return Control<TextBox>("txtName"); }
    TextBox* Path() { return Control<TextBox>("txtPath"); }
    TextBox* Source() { return Control<TextBox>("txtImportQRP"); }
    SortedComboBox* Languages() { return Control<SortedComboBox>("cboLanguages"); }
    QPushButton* Import() { return Control<QPushButton>("cmdImport"); }
    QPushButton* Close() { return Control<QPushButton>("cmdClose"); }

    // What choosing a project leaves in the window: name, directory and the
    // project's languages, none selected.
    void ChooseProjectByHand(const QString& directory, const QString& name) {
        Name()->setText(name);
        Path()->setText(directory);
        Languages()->Clear();
        for (auto [text, lcid] : {std::pair{"Deutsch (Deutschland) [1031]", 1031},
                                  {"Russisch (Russland) [1049]", 1049},
                                  {"Englisch (Vereinigte Staaten) [1033]", 1033}}) {
            Languages()->AddItem(QString::fromUtf8(text));
            Languages()->SetItemData(Languages()->NewIndex(), lcid);
        }
    }
    void SelectLanguage(int32_t lcid) { ::SelectLanguage(Languages(), lcid); }

    // A project whose German texts 1 and 2 an import of the LibreOffice workbook
    // changes, chosen with its source in the window, with Qt's message boxes.
    QString UndoProject() {
        const QString project = folder->Path(QStringLiteral("Demo.qrp"));
        WriteProject(project, {{1, "alt", {}, {}}, {2, "alt", {}, {}}});
        ChooseProjectByHand(folder->Path(QStringLiteral("x")).chopped(2), QStringLiteral("Demo"));
        SelectLanguage(1031);
        Source()->setText(folder->Copy(QStringLiteral("excel/texts-libreoffice.xls")));
        QtDialogs::InstallMessageBox();
        return project;
    }
    // An answer that clicks the box's button of that name, keeping the box's text.
    static std::function<void(QDialog*)> ClickIn(const char* button, QString* text = nullptr) {
        return [button, text](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            QVERIFY(box);
            if (text) *text = box->text();
            auto* target = box->findChild<QPushButton*>(QString::fromLatin1(button));
            QVERIFY2(target, button);
            QTest::mouseClick(target, Qt::LeftButton);
        };
    }
    // The details of a box, as its "Details…" button shows them.
    QString DetailsOf(QDialog* box) {
        QString details;
        AnswerNextModalDialog(this, [&](QDialog* list) {
            details = list->findChild<QTextEdit*>(QStringLiteral("messageText"))->toPlainText();
            list->close();
        });
        QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("cmdDetails")),
                          Qt::LeftButton);
        return details;
    }

  private slots:
    void init() {
        Start();
        window = std::make_unique<FLanguageTransfer>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup() {
        window.reset();
        Stop();
    }

    void startsEmptyWithItsLayout() {
        QCOMPARE(window->windowTitle(), QStringLiteral("QuorvinStudio - Sprache importieren"));
        QCOMPARE(window->size(), QSize(421, 237));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!window->windowIcon().isNull());
        QVERIFY(window->windowIcon().availableSizes().contains(QSize(16, 16)));
        QVERIFY(window->windowIcon().availableSizes().contains(QSize(32, 32)));

        auto* frame = Control<QFrame>("fra");
        QCOMPARE(frame->geometry(), QRect(4, 2, 413, 195));
        const std::vector<std::pair<const char*, QRect>> insideFrame = {
            {"txtName", QRect(8, 32, 185, 20)},
            {"cmdSearchProject", QRect(200, 32, 22, 21)},
            {"txtPath", QRect(8, 72, 369, 20)},
            {"cboLanguages", QRect(8, 116, 369, 21)},
            {"txtImportQRP", QRect(8, 164, 369, 20)},
            {"cmdSearchImportQRP", QRect(384, 164, 22, 21)},
            {"lbl_0", QRect(12, 16, 109, 13)},
            {"lbl_3", QRect(12, 148, 241, 13)}};
        for (const auto& [name, rect] : insideFrame) {
            QWidget* control = Control<QWidget>(name);
            QCOMPARE(control->parentWidget(), frame);
            QCOMPARE(control->geometry(), rect);
        }
        QCOMPARE(Import()->geometry(), QRect(232, 208, 89, 25));
        QCOMPARE(Close()->geometry(), QRect(328, 208, 89, 25));
        QCOMPARE(Import()->parentWidget(), window.get());
        QCOMPARE(Control<QLabel>("lbl_2")->text(), QStringLiteral("Zu importierende &Sprache"));
        QCOMPARE(Import()->text(), QStringLiteral("&Importieren"));
        QCOMPARE(Close()->text(), QStringLiteral("&Beenden"));

        QVERIFY(Name()->text().isEmpty() && Path()->text().isEmpty() && Source()->text().isEmpty());
        QVERIFY(Name()->isReadOnly() && Path()->isReadOnly() && Source()->isReadOnly());
        QCOMPARE(Name()->palette().color(QPalette::Base),
                 Name()->palette().color(QPalette::Button));
        QCOMPARE(Languages()->count(), 0);
        QCOMPARE(Languages()->currentIndex(), -1);
        QVERIFY(!Languages()->isEnabled());
        QVERIFY(!Import()->isEnabled());
        QVERIFY(Close()->isEnabled());
        QVERIFY(Control<QPushButton>("cmdSearchProject")->isEnabled());
        QVERIFY(Control<QPushButton>("cmdSearchImportQRP")->isEnabled());
        QVERIFY(!Import()->isDefault() && !Import()->autoDefault() && !Close()->autoDefault());
    }

    void userCannotTypeIntoTheTextBoxes() {
        Name()->setFocus();
        QTest::keyClicks(Name(), QStringLiteral("abc"));
        QVERIFY(Name()->text().isEmpty());
    }

    void tabOrderFollowsTheLayout() {
        Name()->setFocus();
        QStringList order;
        QWidget* widget = Name();
        for (int i = 0; i < 8; ++i) {
            order << widget->objectName();
            widget = widget->nextInFocusChain();
            while (widget->focusPolicy() == Qt::NoFocus || !widget->isEnabled() ||
                   !qobject_cast<QWidget*>(widget) || widget->objectName().isEmpty())
                widget = widget->nextInFocusChain();
        }
        QCOMPARE(order,
                 QStringList({"txtName", "cmdSearchProject", "txtPath", "txtImportQRP",
                              "cmdSearchImportQRP", "cmdClose", "txtName", "cmdSearchProject"}));
    }

    void accessKeysMoveTheFocusToTheirField() {
        ChooseProjectByHand(QStringLiteral("/p"), QStringLiteral("Demo"));
        QTest::keyClick(window.get(), Qt::Key_V, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Path()));
        QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Languages()));
        QTest::keyClick(window.get(), Qt::Key_D, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Source()));
        QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Name()));
    }

    void stateTableHoldsAfterEachNotification() {
        // No project name.
        Source()->setText(QStringLiteral("/q/texte.xls"));
        QVERIFY(!Languages()->isEnabled());
        QVERIFY(!Import()->isEnabled());
        // Project name, no language selected.
        ChooseProjectByHand(QStringLiteral("/p"), QStringLiteral("Demo"));
        QVERIFY(Languages()->isEnabled());
        QCOMPARE(Languages()->currentIndex(), -1);
        QVERIFY(!Import()->isEnabled());
        // Name, language and file.
        SelectLanguage(1049);
        QVERIFY(Import()->isEnabled());
        // Without a file.
        Source()->setText(QString());
        QVERIFY(!Import()->isEnabled());
        QVERIFY(Languages()->isEnabled());
        // A text of blanks is not empty.
        Source()->setText(QStringLiteral(" "));
        QVERIFY(Import()->isEnabled());
        // Without a name: the list is disabled and keeps its entries.
        Name()->setText(QString());
        QVERIFY(!Languages()->isEnabled());
        QVERIFY(!Import()->isEnabled());
        QCOMPARE(Languages()->count(), 3);
    }

    void languageListIsSortedAndItemDataFollowsTheEntry() {
        ChooseProjectByHand(QStringLiteral("/p"), QStringLiteral("Demo"));
        QCOMPARE(Languages()->itemText(0), QStringLiteral("Deutsch (Deutschland) [1031]"));
        QCOMPARE(Languages()->itemText(1), QStringLiteral("Englisch (Vereinigte Staaten) [1033]"));
        QCOMPARE(Languages()->itemText(2), QStringLiteral("Russisch (Russland) [1049]"));
        QCOMPARE(Languages()->ItemData(1), 1033);
        QCOMPARE(Languages()->ItemData(2), 1049);
        Languages()->AddItem(QStringLiteral("arabisch [1025]"));
        QCOMPARE(Languages()->NewIndex(), 0);  // case does not count
        Languages()->AddItem(QStringLiteral("Ärmelkanal [1]"));
        QCOMPARE(Languages()->NewIndex(), 1);  // Ä sorts with A
        QCOMPARE(Languages()->currentIndex(), -1);
    }

    void selectingALanguageBeforeTheFileLeavesImportDisabled() {
        ChooseProjectByHand(QStringLiteral("/p"), QStringLiteral("Demo"));
        Languages()->setFocus();
        QTest::keyClick(Languages(), Qt::Key_Down);
        QVERIFY(Languages()->currentIndex() >= 0);
        QVERIFY(!Import()->isEnabled());
        dialogAnswer = QStringLiteral("/q/texte.xls");
        QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
        QCOMPARE(Source()->text(), QStringLiteral("/q/texte.xls"));
        QVERIFY(Import()->isEnabled());
    }

    void browseAsksTheOpenDialogAsTheToolsLibraryDoes() {
        dialogAnswer = QStringLiteral("/q/texte.xls");
        QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
        QCOMPARE(dialogs.size(), size_t{1});
        const auto& request = dialogs.front();
        QCOMPARE(request.mode, 1);
        QCOMPARE(request.title, QStringLiteral("QuorvinStudio-Projektdatei öffnen"));
        QCOMPARE(request.initialPath, QString());
        QCOMPARE(
            request.filter,
            QStringLiteral("QuorvinStudio-Projektdateien (*.qrp)|*.qrp|Datenbankdateien (*.mdb)|"
                           "*.mdb|Excel-Dateien (*.xls)|*.xls|Alle Dateien (*.*)|*.*"));
        QCOMPARE(request.flags, 4100);
        QCOMPARE(request.owner, static_cast<quintptr>(window->winId()));
    }

    void openDialogFilterKeepsItsDescriptionsAndReadsItsPatterns() {
        const QStringList filters = QtDialogs::NameFilters(
            QStringLiteral("QuorvinStudio-Projektdateien (*.qrp)|*.qrp|Excel-Dateien "
                           "(*.xls)|*.xls;*.xlw|Alle Dateien (*.*)|*.*"));
        QCOMPARE(filters,
                 QStringList({QStringLiteral("QuorvinStudio-Projektdateien (*.qrp) (*.qrp)"),
                              QStringLiteral("Excel-Dateien (*.xls) (*.xls *.xlw)"),
                              QStringLiteral("Alle Dateien (*.*) (*)")}));
    }

    void cancelledDialogEmptiesTheSourceFile() {
        ChooseProjectByHand(QStringLiteral("/p"), QStringLiteral("Demo"));
        SelectLanguage(1031);
        dialogAnswer = QStringLiteral("/q/texte.xls");
        QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
        QVERIFY(Import()->isEnabled());
        dialogAnswer.clear();
        QSignalSpy changes(Source(), &QLineEdit::textChanged);
        QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
        QCOMPARE(Source()->text(), QString());
        QCOMPARE(changes.count(), 1);
        QVERIFY(!Import()->isEnabled());
    }

    void doubleClickInTheSourceFileBrowsesLikeTheButton() {
        dialogAnswer = QStringLiteral("/q/quelle.qrp");
        QTest::mouseDClick(Source(), Qt::LeftButton);
        QCOMPARE(dialogs.size(), size_t{1});
        QCOMPARE(dialogs.front().flags, 4100);
        QCOMPARE(Source()->text(), QStringLiteral("/q/quelle.qrp"));
    }

    void escapeClosesTheWindowWhereverTheFocusIs() {
        for (const char* name : {"txtName", "cmdSearchProject", "txtPath", "txtImportQRP",
                                 "cmdSearchImportQRP", "cmdClose", "cboLanguages"}) {
            init();
            ChooseProjectByHand(QStringLiteral("/p"), QStringLiteral("Demo"));
            QWidget* control = Control<QWidget>(name);
            control->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), control);
            QTest::keyClick(control, Qt::Key_Escape);
            QVERIFY2(!window->isVisible(), name);
            QVERIFY(messages->messages.empty());
        }
    }

    void enterClicksNoButton() {
        const QString project = folder->Path(QStringLiteral("Demo.qrp"));
        WriteProject(project, {{1, "alt", {}, {}}});
        ChooseProjectByHand(folder->Path(QStringLiteral("x")).chopped(2), QStringLiteral("Demo"));
        SelectLanguage(1031);
        Source()->setText(folder->Copy(QStringLiteral("excel/texts-libreoffice.xls")));
        Source()->setFocus();
        QTest::keyClick(Source(), Qt::Key_Return);
        QVERIFY(messages->messages.empty());
        QCOMPARE(ReadColumn(project, QStringLiteral("L1031"))[1], Variant("alt"));
        QVERIFY(window->isVisible());
    }

    void successfulImportShowsTheSuccessBoxOnce() {
        const QString project = folder->Path(QStringLiteral("Demo.qrp"));
        WriteProject(project, {{1, "alt", {}, {}}, {2, "alt", {}, {}}});
        ChooseProjectByHand(folder->Path(QStringLiteral("x")).chopped(2), QStringLiteral("Demo"));
        SelectLanguage(1031);
        dialogAnswer = folder->Copy(QStringLiteral("excel/texts-libreoffice.xls"));
        QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QCOMPARE(
            messages->messages[0].text,
            QStringLiteral(
                "Sprache erfolgreich importiert!\n\n2 Texte geändert, 11 Zeilen der Quelle ohne "
                "passenden Text im Projekt, 1 ID ohne Zahl, 1 Zeile ohne ID übergangen."));
        // The details list the rows by their place and their IDs as written, blanks kept.
        QVERIFY(messages->messages[0].details.contains(
            QStringLiteral("Zeile 4: ID \u201E  4\u201C\n")));
        QCOMPARE(messages->messages[0].icon, MessageBox::Icon::Information);
        QCOMPARE(ReadColumn(project, QStringLiteral("L1031"))[2], Variant("Bearbeiten"));
        // Nothing of the window changed: the same import can run again at once.
        QVERIFY(Import()->isEnabled());
        QCOMPARE(Languages()->ItemData(Languages()->currentIndex()), 1031);
        QCOMPARE(Source()->text(), dialogAnswer);
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{2});
    }

    // Workbooks of today, text files and XLIFF files, picked under "Alle Dateien
    // (*.*)", import as the workbook does; a damaged one fails with its own message only.
    void xlsxAndCsvChosenUnderAllFilesImportLikeTheWorkbook() {
        const QString project = folder->Path(QStringLiteral("Demo.qrp"));
        ChooseProjectByHand(folder->Path(QStringLiteral("x")).chopped(2), QStringLiteral("Demo"));
        for (const QString& file : {QStringLiteral("xlsx/texts-libreoffice.xlsx"),
                                    QStringLiteral("csv/texts-utf16-tab.csv")}) {
            QFile::remove(project);
            WriteProject(project, {{1, "alt", {}, {}}, {2, "alt", {}, {}}});
            SelectLanguage(1031);
            dialogAnswer = folder->Copy(file);
            QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
            QTest::mouseClick(Import(), Qt::LeftButton);
            QCOMPARE(messages->messages.size(), size_t{1});
            QVERIFY2(messages->messages[0].text.startsWith(
                         QStringLiteral("Sprache erfolgreich importiert!\n\n2 Texte geändert, 11 "
                                        "Zeilen der Quelle ohne passenden Text im Projekt")),
                     qPrintable(messages->messages[0].text));
            QCOMPARE(ReadColumn(project, QStringLiteral("L1031"))[2], Variant("Bearbeiten"));
            messages->messages.clear();
        }
        const QByteArray before = FileBytes(project);
        dialogAnswer = folder->Copy(QStringLiteral("fuzz-regressions/xlsx/truncated-half.xlsx"));
        QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY2(messages->messages[0].text.startsWith(
                     QStringLiteral("Fehler beim Importieren einer Sprache!\n3274: ")),
                 qPrintable(messages->messages[0].text));
        QVERIFY(messages->messages[0].text.contains(dialogAnswer));
        QCOMPARE(FileBytes(project), before);

        // XLIFF from a translation tool, chosen the same way.
        messages->messages.clear();
        RunSql(project, QStringLiteral("INSERT INTO TidxTexts(ID, L1049) VALUES (101, 'alt'), "
                                       "(103, 'alt')"));
        SelectLanguage(1049);
        dialogAnswer = folder->Copy(QStringLiteral("xliff/messages-lconvert.xlf"));
        QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY2(messages->messages[0].text.startsWith(QStringLiteral(
                     "Sprache erfolgreich importiert!\n\n1 Text geändert, 3 Zeilen der Quelle ohne "
                     "passenden Text im Projekt, 1 Einheit ohne Übersetzung übergangen")),
                 qPrintable(messages->messages[0].text));
        QCOMPARE(ReadColumn(project, QStringLiteral("L1049"))[101], Variant("Ôàéë"));
    }

    void failedImportShowsOnlyItsOwnMessage() {
        ChooseProjectByHand(folder->Path(QStringLiteral("x")).chopped(2), QStringLiteral("Fehlt"));
        SelectLanguage(1031);
        Source()->setText(folder->Copy(QStringLiteral("excel/texts-libreoffice.xls")));
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY(messages->messages[0].text.startsWith(
            QStringLiteral("Fehler beim Importieren einer Sprache!\n3024: ")));
        QVERIFY(messages->messages[0].text.contains(QStringLiteral("Fehlt.qrp")));
        QVERIFY(window->isVisible());
        QVERIFY(Import()->isEnabled());
        QVERIFY(!QFile::exists(folder->Path(QStringLiteral("Fehlt.qrp"))));
    }

    void projectFilePathJoinsItsPartsAsTheyStand() {
        QCOMPARE(
            FLanguageTransfer::ProjectFilePath(QStringLiteral("/srv/qs"), QStringLiteral("Plant1")),
            QStringLiteral("/srv/qs/Plant1.qrp"));
        QCOMPARE(FLanguageTransfer::ProjectFilePath(QStringLiteral("/srv/qs/"),
                                                    QStringLiteral("Plant1")),
                 QStringLiteral("/srv/qs//Plant1.qrp"));
        QCOMPARE(FLanguageTransfer::ProjectFilePath(QString(), QStringLiteral("Plant1")),
                 QStringLiteral("/Plant1.qrp"));
        QCOMPARE(FLanguageTransfer::ProjectFilePath(QStringLiteral(" a "), QStringLiteral(" b ")),
                 QStringLiteral(" a / b .qrp"));
    }

    void importUsesTheProjectFilePath() {
        // A directory with a trailing separator still reaches the same file.
        const QString project = folder->Path(QStringLiteral("Demo.qrp"));
        WriteProject(project, {{1, "alt", {}, {}}});
        ChooseProjectByHand(folder->Path(QStringLiteral("x")).chopped(1), QStringLiteral("Demo"));
        QVERIFY(Path()->text().endsWith(QLatin1Char('/')));
        SelectLanguage(1031);
        Source()->setText(folder->Copy(QStringLiteral("excel/texts-libreoffice.xls")));
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY(messages->messages[0].text.startsWith(
            QStringLiteral("Sprache erfolgreich importiert!\n\n1 Text geändert, ")));
        QCOMPARE(ReadColumn(project, QStringLiteral("L1031"))[1], Variant("Datei"));
    }

    // The real success box: its text and icon as before, the summary below, and a
    // "Details…" button that lists the rows and leaves the box open.
    void successBoxShowsTheSummaryAndTheDetails() {
        const QString project = folder->Path(QStringLiteral("Demo.qrp"));
        WriteProject(project, {{1, "alt", {}, {}}, {2, "Bearbeiten", {}, {}}});
        ChooseProjectByHand(folder->Path(QStringLiteral("x")).chopped(2), QStringLiteral("Demo"));
        SelectLanguage(1031);
        Source()->setText(folder->Copy(QStringLiteral("excel/texts-libreoffice.xls")));
        QtDialogs::InstallMessageBox();
        QString text, details;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool stayedOpen = false;
        AnswerNextModalDialog(this, [&](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            QVERIFY(box);
            text = box->text();
            icon = box->icon();
            AnswerNextModalDialog(this, [&](QDialog* list) {
                QCOMPARE(list->objectName(), QStringLiteral("frmDetails"));
                details = list->findChild<QTextEdit*>(QStringLiteral("messageText"))->toPlainText();
                QTest::keyClick(list, Qt::Key_Return);
            });
            auto* more = box->findChild<QPushButton*>(QStringLiteral("cmdDetails"));
            QVERIFY(more);
            QCOMPARE(more->text(), QStringLiteral("Details\u2026"));
            QTest::mouseClick(more, Qt::LeftButton);
            stayedOpen = box->isVisible();
            box->button(QMessageBox::Ok)->click();
        });
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(text, QStringLiteral("Sprache erfolgreich importiert!\n\n1 Text geändert, 1 "
                                      "unverändert, 11 Zeilen der Quelle ohne passenden Text im "
                                      "Projekt, 1 ID ohne Zahl, 1 Zeile ohne ID übergangen."));
        QCOMPARE(icon, QMessageBox::Information);
        QVERIFY(stayedOpen);
        QVERIFY(details.contains(
            QStringLiteral("Zeilen der Quelle ohne passenden Text im Projekt (11):\n")));
        QVERIFY(details.contains(QStringLiteral("Zeile 11: ID \u201Ekeine Zahl\u201C")));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // The window checks against German, as the command line does by default.
    void successBoxListsWhatTheChecksFound() {
        const QString project = folder->Path(QStringLiteral("Demo.qrp"));
        RunSql(project,
               QStringLiteral(
                   "CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031, L1033); "
                   "INSERT INTO TidxTexts VALUES (1, '&Öffnen', NULL), (2, '&&Speichern', "
                   "NULL), (3, '%1 von %2', NULL), (4, '%1 von %2', NULL), (5, '{0:N2} €', "
                   "NULL), (6, 'Zeile' || char(10) || 'Zeile', NULL), (7, '<b>Achtung</b>', "
                   "NULL), (8, 'Speichern:', NULL), (9, 'Speichern', NULL), (10, 'Datei "
                   "speichern', NULL)"));
        ChooseProjectByHand(folder->Path(QStringLiteral("x")).chopped(2), QStringLiteral("Demo"));
        SelectLanguage(1033);
        Source()->setText(folder->Copy(QStringLiteral("xlsx/translation-mistakes-openpyxl.xlsx")));
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QCOMPARE(messages->messages[0].text,
                 QStringLiteral("Sprache erfolgreich importiert!\n\n10 Texte geändert, 5 Texte mit "
                                "Fehlern (Platzhalter, Zugriffstasten, Zeilenumbrüche, Tags), 2 "
                                "Hinweise."));
        const QString& details = messages->messages[0].details;
        QVERIFY(details.contains(QStringLiteral(
            "Prüfung gegen L1031: Fehler (5):\n  Zeile 1, ID 1: Zugriffstasten \u2013 Referenz "
            "\u201E&Öffnen\u201C, Text \u201EOpen\u201C\n")));
        QVERIFY(details.contains(QStringLiteral(
            "  Zeile 5, ID 5: Platzhalter \u2013 Referenz \u201E{0:N2} €\u201C, Text \u201E{0} "
            "€\u201C\n")));
        QVERIFY(details.contains(QStringLiteral(
            "Prüfung gegen L1031: Hinweise (2):\n  Zeile 8, ID 8: Satzzeichen am Ende \u2013 "
            "Referenz \u201ESpeichern:\u201C, Text \u201ESave\u201C\n  Zeile 10, ID 10: "
            "unübersetzt \u2013 Referenz \u201EDatei speichern\u201C, Text \u201EDatei "
            "speichern\u201C")));
    }

    // The success box takes the import back: asked first, then the column is as it was.
    void successBoxUndoesTheImport() {
        const QString project = UndoProject();
        const auto before = ReadColumn(project, QStringLiteral("L1031"));
        QString question, done;
        ModalAnswers answers(
            {ClickIn("cmdUndo"), ClickIn("cmdYes", &question), ClickIn("cmdOk", &done)});
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(answers.Answered(), size_t{3});
        QCOMPARE(question, QStringLiteral("Den Import von \u201Etexts-libreoffice.xls\u201C in "
                                          "\u201EDemo\u201C (Deutsch, 2 Texte) zurücknehmen?"));
        QCOMPARE(done, QStringLiteral("Import zurückgenommen: 2 Texte wiederhergestellt."));
        QCOMPARE(ReadColumn(project, QStringLiteral("L1031")), before);
        QVERIFY(UndoStore::List(QFileInfo(project).absoluteFilePath()).front().undone);
    }

    // "Nein" changes nothing; a text another program wrote since the import is
    // kept or overwritten, as the user decides.
    void undoAsksAndRespectsTextsChangedSince() {
        const QString project = UndoProject();
        ModalAnswers no({ClickIn("cmdUndo"), ClickIn("cmdNo")});
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(no.Answered(), size_t{2});
        QCOMPARE(ReadColumn(project, QStringLiteral("L1031"))[2], Variant("Bearbeiten"));
        QVERIFY(!UndoStore::List(project).front().undone);

        for (const char* choice : {"cmdKeep", "cmdOverwrite"}) {
            RunSql(project, QStringLiteral("UPDATE TidxTexts SET L1031 = 'alt'"));
            QString conflict, details, done;
            ModalAnswers answers(
                {[&](QDialog* box) {
                     // Another program writes a text while the box is shown.
                     RunSql(project,
                            QStringLiteral("UPDATE TidxTexts SET L1031 = 'von Hand' WHERE ID = 2"));
                     ClickIn("cmdUndo")(box);
                 },
                 ClickIn("cmdYes"),
                 [&](QDialog* box) {
                     details = DetailsOf(box);
                     ClickIn(choice, &conflict)(box);
                 },
                 ClickIn("cmdOk", &done)});
            QTest::mouseClick(Import(), Qt::LeftButton);
            QCOMPARE(answers.Answered(), size_t{4});
            QCOMPARE(conflict, QStringLiteral("1 Text wurde seit dem Import geändert (ein anderes "
                                              "Programm hat ihn geschrieben). Soll er bleiben, wie "
                                              "er jetzt ist, oder den Stand vor dem Import "
                                              "bekommen?"));
            QCOMPARE(details,
                     QStringLiteral("ID 2: \u201Evon Hand\u201C statt \u201EBearbeiten\u201C"));
            const bool keep = QByteArray(choice) == "cmdKeep";
            QCOMPARE(ReadColumn(project, QStringLiteral("L1031"))[1], Variant("alt"));
            QCOMPARE(ReadColumn(project, QStringLiteral("L1031"))[2],
                     Variant(keep ? "von Hand" : "alt"));
            QCOMPARE(done,
                     keep ? QStringLiteral("Import zurückgenommen: 1 Text wiederhergestellt. "
                                           "1 Text ist seit dem Import geändert und ist "
                                           "geblieben.")
                          : QStringLiteral("Import zurückgenommen: 2 Texte wiederhergestellt."));
        }
    }

    // A long import (a million texts converted from a database file) shows its progress;
    // "Abbrechen" cancels it and the project, the undo store and the window are as before.
    void cancellingALongImportChangesNothing() {
        const QString project = folder->Path(QStringLiteral("Demo.qrp"));
        RunSql(project, QStringLiteral("CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031, "
                                       "L1049); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                                       "SELECT i + 1 FROM n WHERE i < 1000000) INSERT INTO "
                                       "TidxTexts SELECT i, 'alt', 'alt' FROM n"));
        const QString source = folder->Path(QStringLiteral("Gross.mdb"));
        // In descending order, so that the import sorts them too and lasts well
        // over the half second after which the progress shows.
        RunSql(source, QStringLiteral("CREATE TABLE TidxTexts(ID, L1031); WITH RECURSIVE n(i) AS "
                                      "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) "
                                      "INSERT INTO TidxTexts SELECT 1000001 - i, 'neu ' || i FROM "
                                      "n"));
        ChooseProjectByHand(folder->Path(QStringLiteral("x")).chopped(2), QStringLiteral("Demo"));
        SelectLanguage(1031);
        Source()->setText(source);
        const QByteArray before = FileBytes(project);
        QString label;
        bool modal = false;
        AnswerNextModalDialog(this, [&](QDialog* dialog) {
            auto* progress = qobject_cast<QProgressDialog*>(dialog);
            QVERIFY(progress);
            label = progress->labelText();
            modal = progress->isModal();
            auto* cancel = progress->findChild<QPushButton*>();
            QVERIFY(cancel);
            QCOMPARE(cancel->text(), QStringLiteral("Abbrechen"));
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        QTest::mouseClick(Import(), Qt::LeftButton);
        QVERIFY(label.startsWith(QStringLiteral("Die Sprache wird importiert: ")));
        QVERIFY2(label.endsWith(QStringLiteral(" von 1.000.000 Zeilen")), qPrintable(label));
        QVERIFY(modal);
        QVERIFY(messages->messages.empty());
        QCOMPARE(FileBytes(project), before);
        QVERIFY(UndoStore::List(project).empty());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(Import()->isEnabled());

        // Left to run, the same import finishes and says so once.
        QTest::mouseClick(Import(), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QVERIFY(messages->messages[0].text.startsWith(
            QStringLiteral("Sprache erfolgreich importiert!\n\n1.000.000 Texte geändert")));

        // A failure late in a long import is shown once the progress window is gone.
        RunSql(project, QStringLiteral("CREATE TRIGGER spaet BEFORE UPDATE OF L1031 ON TidxTexts "
                                       "WHEN NEW.ID = 999000 BEGIN SELECT RAISE(ABORT, 'nein'); "
                                       "END"));
        RunSql(source, QStringLiteral("UPDATE TidxTexts SET L1031 = 'neuer ' || ID"));
        bool progressVisible = true;
        const auto recorder = MessageBox::SetHandler([&](const MessageBox::Request&) {
            progressVisible = false;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (qobject_cast<QProgressDialog*>(widget) && widget->isVisible())
                    progressVisible = true;
            return MessageBox::Button::Ok;
        });
        QTest::mouseClick(Import(), Qt::LeftButton);
        MessageBox::SetHandler(recorder);
        QVERIFY(!progressVisible);
    }

    void anUncaughtErrorIsShownAndTheWindowLivesOn() {
        Source()->setText(QStringLiteral("/q/vorher.xls"));
        FileTools::SetOpenDialogHandler([](const FileTools::OpenDialogRequest&) -> QString {
            throw RuntimeError::FileUnreadable(QStringLiteral("/q/dialog"));
        });
        QTest::mouseClick(Control<QPushButton>("cmdSearchImportQRP"), Qt::LeftButton);
        QCOMPARE(messages->messages.size(), size_t{1});
        QCOMPARE(messages->messages[0].text,
                 QStringLiteral("Laufzeitfehler '3051':\n\nDie Datei '/q/dialog' kann nicht "
                                "gelesen werden."));
        QCOMPARE(messages->messages[0].icon, MessageBox::Icon::Critical);
        QVERIFY(window->isVisible());
        QCOMPARE(Source()->text(), QStringLiteral("/q/vorher.xls"));
    }
};

QTEST_MAIN(FLanguageTransferTest)
#include "FLanguageTransferTest.moc"
