#include "FLanguageExport.h"

#include "EventGuard.h"
#include "ExportWriter.h"
#include "FProjectOpen.h"
#include "LanguageExport.h"
#include "MLanguageTransfer.h"
#include "MessageBox.h"
#include "PictureButton.h"
#include "ProgressWindow.h"
#include "RegisteredProjects.h"
#include "RuntimeError.h"
#include "SortedComboBox.h"
#include "TextBox.h"
#include "ToolsApp.h"
#include "Twips.h"
#include "UiResources.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace {

const QString kSaveTitle = QStringLiteral("Datei für die Übersetzung speichern");
constexpr int32_t kSaveMode = 2;
constexpr int32_t kSaveFlags = 0x2 | 0x4;  // ask before overwriting; no read-only box
const QString kNoReference = QStringLiteral("(keine)");

}  // namespace

FLanguageExport::FLanguageExport(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FLanguageExport"));
    setWindowTitle(QStringLiteral("QuorvinStudio - Sprache exportieren"));
    setWindowIcon(UiResources::WindowIcon());
    // Fixed single border, as the import window: no resizing, no maximize box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Twips(6315), Twips(4575));
    BuildControls();
    Connect();
}

void FLanguageExport::BuildControls() {
    fra_ = new QFrame(this);
    fra_->setObjectName(QStringLiteral("fra"));
    fra_->setFrameStyle(QFrame::Box | QFrame::Sunken);
    fra_->setGeometry(TwipsRect(60, 30, 6195, 3945));

    const char* captions[5] = {"&Projektname", "Projekt&verzeichnis", "Zu exportierende &Sprache",
                               "&Referenzsprache, zum Lesen daneben",
                               "&Datei, in die exportiert wird"};
    const int tops[5] = {240, 840, 1500, 2160, 3240};
    for (int i = 0; i < 5; ++i) {
        lbl_[i] = new QLabel(QString::fromUtf8(captions[i]), fra_);
        lbl_[i]->setObjectName(QStringLiteral("lbl_%1").arg(i));
        lbl_[i]->setGeometry(TwipsRect(180, tops[i], 3615, 195));
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
    cboReference_ = new SortedComboBox(fra_);
    cboReference_->setObjectName(QStringLiteral("cboReference"));
    cboReference_->setGeometry(TwipsRect(120, 2400, 5535, 315));
    chkMissingOnly_ = new QCheckBox(QStringLiteral("&Nur fehlende Texte"), fra_);
    chkMissingOnly_->setObjectName(QStringLiteral("chkMissingOnly"));
    chkMissingOnly_->setGeometry(TwipsRect(120, 2820, 3615, 255));
    txtExportFile_ = new TextBox(fra_);
    txtExportFile_->setObjectName(QStringLiteral("txtExportFile"));
    txtExportFile_->setGeometry(TwipsRect(120, 3480, 5535, 300));
    cmdSearchExportFile_ = PictureButton(fra_, QStringLiteral("cmdSearchExportFile"));
    cmdSearchExportFile_->setGeometry(TwipsRect(5760, 3480, 330, 315));
    for (SortedComboBox* list : {cboLanguages_, cboReference_}) list->setEnabled(false);

    cmdExport_ = new QPushButton(QStringLiteral("&Exportieren"), this);
    cmdExport_->setObjectName(QStringLiteral("cmdExport"));
    cmdExport_->setGeometry(TwipsRect(3480, 4140, 1335, 375));
    cmdExport_->setEnabled(false);
    cmdExport_->setAutoDefault(false);
    cmdClose_ = new QPushButton(QStringLiteral("&Beenden"), this);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    cmdClose_->setGeometry(TwipsRect(4920, 4140, 1335, 375));
    cmdClose_->setAutoDefault(false);

    // A label's access key moves the focus to the field that follows it.
    QWidget* buddies[5] = {txtName_, txtPath_, cboLanguages_, cboReference_, txtExportFile_};
    for (int i = 0; i < 5; ++i) lbl_[i]->setBuddy(buddies[i]);
    QWidget* order[] = {txtName_,      cmdSearchProject_, txtPath_,       cboLanguages_,
                        cboReference_, chkMissingOnly_,   txtExportFile_, cmdSearchExportFile_,
                        cmdExport_,    cmdClose_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void FLanguageExport::Connect() {
    auto guarded = [this](void (FLanguageExport::*action)()) {
        return [this, action] { RunGuarded([this, action] { (this->*action)(); }); };
    };
    connect(txtName_, &QLineEdit::textChanged, this, guarded(&FLanguageExport::ApplyExportRule));
    connect(txtExportFile_, &QLineEdit::textChanged, this,
            guarded(&FLanguageExport::ApplyExportRule));
    connect(cboLanguages_, &QComboBox::currentIndexChanged, this,
            guarded(&FLanguageExport::ApplyReferenceRule));
    connect(cboReference_, &QComboBox::currentIndexChanged, this,
            guarded(&FLanguageExport::ApplyReferenceRule));
    connect(cmdSearchProject_, &QPushButton::clicked, this,
            guarded(&FLanguageExport::ChooseProject));
    connect(txtName_, &TextBox::doubleClicked, this, guarded(&FLanguageExport::ChooseProject));
    connect(cmdSearchExportFile_, &QPushButton::clicked, this,
            guarded(&FLanguageExport::BrowseForExportFile));
    connect(txtExportFile_, &TextBox::doubleClicked, this,
            guarded(&FLanguageExport::BrowseForExportFile));
    connect(cmdExport_, &QPushButton::clicked, this, guarded(&FLanguageExport::Export));
    connect(cmdClose_, &QPushButton::clicked, this, [this] { RunGuarded([this] { close(); }); });
    // Close is the cancel button: Escape clicks it wherever the focus is.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, cmdClose_, &QPushButton::click);
}

void FLanguageExport::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centred_) return;
    centred_ = true;
    CentreOnScreen(this);
}

QString FLanguageExport::ProjectFile() const { return projectFile_; }

// Exportieren needs a project, a language and a file.
void FLanguageExport::ApplyExportRule() {
    cmdExport_->setEnabled(!projectFile_.isEmpty() && cboLanguages_->currentIndex() >= 0 &&
                           !txtExportFile_->text().isEmpty());
}

// The reference cannot be the language exported: it goes back to "(keine)".
void FLanguageExport::ApplyReferenceRule() {
    const int language = cboLanguages_->currentIndex();
    const int reference = cboReference_->currentIndex();
    if (language >= 0 && reference >= 0 &&
        cboReference_->ItemData(reference) == cboLanguages_->ItemData(language))
        cboReference_->setCurrentIndex(cboReference_->findText(kNoReference));
    ApplyExportRule();
}

void FLanguageExport::ChooseProject() {
    const QString chosen = FProjectOpen::Instance().ProjectName();
    const auto project = chosen.isEmpty() ? std::nullopt : FindRegisteredProject(chosen);
    projectFile_ = project ? project->file : QString();
    txtPath_->setText(project ? project->directory : QString());
    txtName_->setText(project ? project->name : QString());
    for (SortedComboBox* list : {cboLanguages_, cboReference_}) {
        list->Clear();
        list->setEnabled(project.has_value());
    }
    if (!project) return;
    MLanguageTransfer::FillLanguageList(projectFile_, *cboLanguages_);
    MLanguageTransfer::FillLanguageList(projectFile_, *cboReference_);
    cboReference_->AddItem(kNoReference);
    cboReference_->SetItemData(cboReference_->NewIndex(), 0);
    cboReference_->setCurrentIndex(cboReference_->findText(kNoReference));
    ApplyExportRule();
}

void FLanguageExport::BrowseForExportFile() {
    QString initial = txtExportFile_->text();
    if (initial.isEmpty() && !projectFile_.isEmpty())
        initial = QFileInfo(projectFile_).absolutePath() + QLatin1Char('/') +
                  QFileInfo(projectFile_).completeBaseName() + QStringLiteral(".xlsx");
    const QString path = ToolsApp::Instance().Files()->ShowOpenDialog(
        kSaveMode, kSaveTitle, initial, ExportWriter::DialogFilter(), kSaveFlags,
        static_cast<quintptr>(winId()));
    // A cancelled dialog leaves the file chosen before.
    if (!path.isEmpty()) txtExportFile_->setText(path);
}

void FLanguageExport::Export() {
    const int32_t lcid = cboLanguages_->ItemData(cboLanguages_->currentIndex());
    LanguageExport::Options options;
    options.missingOnly = chkMissingOnly_->isChecked();
    if (const int32_t reference = cboReference_->ItemData(cboReference_->currentIndex()))
        options.reference = reference;
    const QString file = txtExportFile_->text();
    LanguageExport::Result result;
    try {
        ProgressWindow progress(this,
                                QStringLiteral("Die Sprache wird exportiert: %1 von %2 Texten"));
        result = LanguageExport::Export(projectFile_, lcid, file, options, progress.Callback());
    } catch (...) {
        const RuntimeError error = RuntimeError::FromCurrentException();
        // The user who cancelled knows; no file was written.
        if (error.Number() != ErrorNumber::Cancelled)
            MessageBox::Show(QStringLiteral("Fehler beim Exportieren einer Sprache!\n%1: %2")
                                 .arg(error.Number())
                                 .arg(error.Description()),
                             MessageBox::Icon::None);
        return;
    }
    MessageBox::Show(
        result.Summary(QDir::toNativeSeparators(file)),
        result.HasFindings() ? MessageBox::Icon::Warning : MessageBox::Icon::Information,
        result.Details());
}
