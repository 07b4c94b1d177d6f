#include "FLanguageTransfer.h"

#include "EventGuard.h"
#include "FProjectOpen.h"
#include "FillProjectList.h"
#include "ImportUndo.h"
#include "MLanguageTransfer.h"
#include "MessageBox.h"
#include "PictureButton.h"
#include "ProgressWindow.h"
#include "RegistryStore.h"
#include "SortedComboBox.h"
#include "SourceFormats.h"
#include "TextBox.h"
#include "ToolsApp.h"
#include "Twips.h"
#include "UiResources.h"
#include "WindowPlacement.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace {

const QString kOpenTitle = QStringLiteral("QuorvinStudio-Projektdatei öffnen");
constexpr int32_t kOpenFlags = 4100;  // the file must exist; no read-only box

}  // namespace

FLanguageTransfer::FLanguageTransfer(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FLanguageTransfer"));
    setWindowTitle(QStringLiteral("QuorvinStudio - Sprache importieren"));
    setWindowIcon(UiResources::WindowIcon());
    // Fixed single border: no resizing, no maximize box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Twips(6315), Twips(3555));
    BuildControls();

    connect(txtName_, &QLineEdit::textChanged, this, [this] {
        RunGuarded([this] {
            ApplyImportRule();
            ApplyLanguageListRule();
        });
    });
    connect(txtImportQRP_, &QLineEdit::textChanged, this,
            [this] { RunGuarded([this] { ApplyImportRule(); }); });
    connect(cboLanguages_, &QComboBox::currentIndexChanged, this,
            [this] { RunGuarded([this] { ApplyImportRule(); }); });
    connect(cmdSearchImportQRP_, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BrowseForSourceFile(); }); });
    connect(txtImportQRP_, &TextBox::doubleClicked, this,
            [this] { RunGuarded([this] { BrowseForSourceFile(); }); });
    connect(cmdImport_, &QPushButton::clicked, this, [this] { RunGuarded([this] { Import(); }); });
    connect(cmdClose_, &QPushButton::clicked, this, [this] { RunGuarded([this] { close(); }); });
    connect(cmdSearchProject_, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { ChooseProject(); }); });
    connect(txtName_, &TextBox::doubleClicked, this,
            [this] { RunGuarded([this] { ChooseProject(); }); });

    // Close is the cancel button: Escape clicks it wherever the focus is.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, cmdClose_, &QPushButton::click);
}

void FLanguageTransfer::BuildControls() {
    fra_ = new QFrame(this);
    fra_->setObjectName(QStringLiteral("fra"));
    fra_->setFrameStyle(QFrame::Box | QFrame::Sunken);
    fra_->setGeometry(TwipsRect(60, 30, 6195, 2925));

    const char* captions[4] = {"Projekt&name", "Projekt&verzeichnis", "Zu importierende &Sprache",
                               "&Datei mit zu importierender Sprache"};
    const QRect labelRects[4] = {TwipsRect(180, 240, 1635, 195), TwipsRect(180, 840, 1695, 195),
                                 TwipsRect(180, 1500, 3615, 195), TwipsRect(180, 2220, 3615, 195)};
    for (int i = 0; i < 4; ++i) {
        lbl_[i] = new QLabel(QString::fromUtf8(captions[i]), fra_);
        lbl_[i]->setObjectName(QStringLiteral("lbl_%1").arg(i));
        lbl_[i]->setGeometry(labelRects[i]);
    }

    txtName_ = new TextBox(fra_);
    txtName_->setObjectName(QStringLiteral("txtName"));
    txtName_->setGeometry(TwipsRect(120, 480, 2775, 300));
    cmdSearchProject_ = PictureButton(fra_, QStringLiteral("cmdSearchProject"));
    cmdSearchProject_->setGeometry(TwipsRect(3000, 480, 330, 315));

    txtPath_ = new TextBox(fra_);
    txtPath_->setObjectName(QStringLiteral("txtPath"));
    txtPath_->setGeometry(TwipsRect(120, 1080, 5535, 300));

    cboLanguages_ = new SortedComboBox(fra_);
    cboLanguages_->setObjectName(QStringLiteral("cboLanguages"));
    cboLanguages_->setGeometry(TwipsRect(120, 1740, 5535, 315));
    cboLanguages_->setEnabled(false);

    txtImportQRP_ = new TextBox(fra_);
    txtImportQRP_->setObjectName(QStringLiteral("txtImportQRP"));
    txtImportQRP_->setGeometry(TwipsRect(120, 2460, 5535, 300));
    cmdSearchImportQRP_ = PictureButton(fra_, QStringLiteral("cmdSearchImportQRP"));
    cmdSearchImportQRP_->setGeometry(TwipsRect(5760, 2460, 330, 315));

    cmdImport_ = new QPushButton(QStringLiteral("&Importieren"), this);
    cmdImport_->setObjectName(QStringLiteral("cmdImport"));
    cmdImport_->setGeometry(TwipsRect(3480, 3120, 1335, 375));
    cmdImport_->setEnabled(false);
    cmdImport_->setAutoDefault(false);

    cmdClose_ = new QPushButton(QStringLiteral("&Beenden"), this);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    cmdClose_->setGeometry(TwipsRect(4920, 3120, 1335, 375));
    cmdClose_->setAutoDefault(false);

    // A label's access key moves the focus to the field that follows it.
    lbl_[0]->setBuddy(txtName_);
    lbl_[1]->setBuddy(txtPath_);
    lbl_[2]->setBuddy(cboLanguages_);
    lbl_[3]->setBuddy(txtImportQRP_);

    QWidget* order[] = {txtName_,      cmdSearchProject_,   txtPath_,   cboLanguages_,
                        txtImportQRP_, cmdSearchImportQRP_, cmdImport_, cmdClose_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void FLanguageTransfer::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centred_) return;
    centred_ = true;
    CentreOnScreen(this);
}

QString FLanguageTransfer::ProjectFilePath(const QString& directory, const QString& name) {
    return directory + QDir::separator() + name + QStringLiteral(".qrp");
}

void FLanguageTransfer::ApplyImportRule() {
    cmdImport_->setEnabled(!txtImportQRP_->text().isEmpty() && !txtName_->text().isEmpty() &&
                           cboLanguages_->currentIndex() >= 0);
}

void FLanguageTransfer::ApplyLanguageListRule() {
    cboLanguages_->setEnabled(!txtName_->text().isEmpty());
}

void FLanguageTransfer::BrowseForSourceFile() {
    const quintptr owner = static_cast<quintptr>(winId());
    auto files = ToolsApp::Instance().Files();
    const QString path = files->ShowOpenDialog(1, kOpenTitle, QString(),
                                               SourceFormats::WindowFilter(), kOpenFlags, owner);
    // Also when empty: a cancelled dialog clears the file chosen before.
    txtImportQRP_->setText(path);
}

void FLanguageTransfer::Import() {
    const QString directory = txtPath_->text();
    const QString name = txtName_->text();
    const int32_t lcid = cboLanguages_->ItemData(cboLanguages_->currentIndex());
    const QString sourceFile = txtImportQRP_->text();
    const QString projectFile = ProjectFilePath(directory, name);
    ImportReport report;
    {
        ProgressWindow progress(this);
        if (!MLanguageTransfer::TransferLanguage(projectFile, lcid, sourceFile, &report,
                                                 progress.Callback()))
            return;
    }
    // An import that changed texts can be taken back from its success box.
    const auto undo = ImportUndo::JustDone(projectFile);
    std::vector<MessageBox::Button> buttons{MessageBox::Button::Ok};
    if (undo) buttons.push_back(MessageBox::Button::Undo);
    const MessageBox::Button chosen = MessageBox::Ask(
        {QStringLiteral("Sprache erfolgreich importiert!\n\n") + report.Summary(),
         MessageBox::Icon::Information, report.Details(), buttons, MessageBox::Button::Ok});
    if (chosen == MessageBox::Button::Undo) ImportUndo::Offer(projectFile, name, sourceFile, *undo);
}

void FLanguageTransfer::ChooseProject() {
    const QString chosen = FProjectOpen::Instance().ProjectName();
    // Also when empty; the change notification applies both rules at once.
    txtName_->setText(chosen);
    if (txtName_->text().isEmpty()) return;
    const QString directory = ToolsApp::Instance().Registry()->ReadValue(
        RegistryStore::HKEY_LOCAL_MACHINE, kProjectsKey + QLatin1Char('\\') + txtName_->text(),
        QStringLiteral("Path"), QString());
    txtPath_->setText(directory);
    MLanguageTransfer::FillLanguageList(ProjectFilePath(txtPath_->text(), txtName_->text()),
                                        *cboLanguages_);
    ApplyImportRule();
}
