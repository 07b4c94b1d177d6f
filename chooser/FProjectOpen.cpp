#include "FProjectOpen.h"

#include "EventGuard.h"
#include "FillProjectList.h"
#include "MText.h"
#include "MessageBox.h"
#include "RegistryStore.h"
#include "ReportListView.h"
#include "ToolsApp.h"
#include "Twips.h"
#include "UiResources.h"
#include "WindowPlacement.h"

#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <memory>

// The chooser's window. Its handlers work on the stored name of the FProjectOpen
// object, which outlives every window.
class ProjectOpenDialog : public QDialog {
  public:
    ProjectOpenDialog(QString& storedName, const QString& previousResult);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void showEvent(QShowEvent* event) override;

  private:
    void Load();
    void ItemClick(QTreeWidgetItem* item);
    void MouseDown(const QPoint& point);
    void OpenClick();
    void CancelClick();
    void HelpClick();

    QString& msProjectName;
    const QString previousResult_;
    ReportListView* lvwRegisteredProjects_;
    QPushButton* cmdOpen_;
    QPushButton* cmdCancel_;
    QPushButton* cmdHelp_;
    bool closeCommand_ = false;
};

ProjectOpenDialog::ProjectOpenDialog(QString& storedName, const QString& previousResult)
    : QDialog(nullptr), msProjectName(storedName), previousResult_(previousResult) {
    setObjectName(QStringLiteral("FProjectOpen"));
    setWindowTitle(QStringLiteral("QuorvinStudio:  Projekt öffnen"));
    setWindowIcon(UiResources::WindowIcon());
    // Fixed dialog border: not resizable, no minimize or maximize box.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Twips(8130), Twips(4545));

    auto* fra = new QFrame(this);
    fra->setObjectName(QStringLiteral("fra"));
    fra->setFrameStyle(QFrame::Box | QFrame::Sunken);
    fra->setGeometry(TwipsRect(60, 0, 7995, 3975));
    auto* lbl = new QLabel(QStringLiteral("Registrierte Projekte"), fra);
    lbl->setObjectName(QStringLiteral("lbl_0"));
    lbl->setGeometry(TwipsRect(180, 240, 2955, 195));

    lvwRegisteredProjects_ = new ReportListView(fra);
    lvwRegisteredProjects_->setObjectName(QStringLiteral("lvwRegisteredProjects"));
    lvwRegisteredProjects_->setGeometry(TwipsRect(120, 480, 7755, 3375));
    lvwRegisteredProjects_->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Verzeichnis"), QStringLiteral("Typ")});
    lvwRegisteredProjects_->setColumnWidth(0, Twips(2000));
    lvwRegisteredProjects_->setColumnWidth(1, Twips(4000));
    lvwRegisteredProjects_->setColumnWidth(2, Twips(1440));

    cmdOpen_ = new QPushButton(QStringLiteral("Ö&ffnen"), this);
    cmdOpen_->setObjectName(QStringLiteral("cmdOpen"));
    cmdOpen_->setGeometry(TwipsRect(3780, 4080, 1335, 375));
    cmdOpen_->setEnabled(false);
    cmdOpen_->setDefault(true);
    cmdCancel_ = new QPushButton(QStringLiteral("Abbrechen"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel_->setGeometry(TwipsRect(5160, 4080, 1335, 375));
    cmdCancel_->setAutoDefault(false);
    cmdHelp_ = new QPushButton(QStringLiteral("&Hilfe"), this);
    cmdHelp_->setObjectName(QStringLiteral("cmdHelp"));
    cmdHelp_->setGeometry(TwipsRect(6600, 4080, 1335, 375));
    cmdHelp_->setAutoDefault(false);

    setTabOrder(lvwRegisteredProjects_, cmdOpen_);
    setTabOrder(cmdOpen_, cmdCancel_);
    setTabOrder(cmdCancel_, cmdHelp_);
    lvwRegisteredProjects_->setFocus();

    connect(lvwRegisteredProjects_, &ReportListView::itemClick, this,
            [this](QTreeWidgetItem* item) { RunGuarded([&] { ItemClick(item); }); });
    connect(lvwRegisteredProjects_, &ReportListView::mouseDown, this,
            [this](Qt::MouseButton, Qt::KeyboardModifiers, QPoint point) {
                RunGuarded([&] { MouseDown(point); });
            });
    connect(lvwRegisteredProjects_, &ReportListView::doubleClick, this,
            [this] { RunGuarded([this] { OpenClick(); }); });
    connect(cmdOpen_, &QPushButton::clicked, this, [this] { RunGuarded([this] { OpenClick(); }); });
    connect(cmdCancel_, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { CancelClick(); }); });
    connect(cmdHelp_, &QPushButton::clicked, this, [this] { RunGuarded([this] { HelpClick(); }); });

    Load();
}

void ProjectOpenDialog::Load() { FillProjectList(*lvwRegisteredProjects_, MText::kAllKinds); }

void ProjectOpenDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

void ProjectOpenDialog::ItemClick(QTreeWidgetItem* item) {
    msProjectName = item->text(0);
    cmdOpen_->setEnabled(true);
}

void ProjectOpenDialog::MouseDown(const QPoint& point) {
    if (lvwRegisteredProjects_->HitTest(point)) return;
    lvwRegisteredProjects_->clearSelection();
    lvwRegisteredProjects_->setCurrentItem(nullptr);
    msProjectName.clear();
    cmdOpen_->setEnabled(false);
}

void ProjectOpenDialog::OpenClick() {
    if (cmdOpen_->isEnabled()) hide();
}

void ProjectOpenDialog::CancelClick() {
    // Cancel chooses nothing: the reading returns what the previous one returned,
    // whatever was clicked in this showing.
    msProjectName = previousResult_;
    hide();
}

void ProjectOpenDialog::HelpClick() {
    MessageBox::Show(
        QStringLiteral(
            "Hier stehen die auf diesem Rechner registrierten QuorvinStudio-Projekte. Wählen Sie "
            "ein Projekt "
            "aus und klicken Sie auf \"Öffnen\".\n\n"
            "Die Registrierungen stehen in der Datei\n%1\n\n"
            "Ein Projekt wird registriert, indem Sie dort einen Abschnitt mit seinem Namen "
            "anlegen, zum Beispiel:\n\n"
            "[%2\\Anlage1]\nProjectType=Single\nPath=/home/benutzer/Projekte/Anlage1\n\n"
            "\"Path\" ist das Projektverzeichnis mit der Projektdatei Anlage1.qrp (bei \"Group\" "
            "Anlage1.vbg). "
            "Mögliche Projekttypen: Single, Server, Client, Terminal Server, Terminal Client, "
            "Group, QuorvinX. "
            "Registrierungen, deren Projektdatei fehlt, werden beim Öffnen dieser Liste entfernt.")
            .arg(RegistryStore::FileOf(RegistryStore::HKEY_LOCAL_MACHINE), kProjectsKey),
        MessageBox::Icon::Information);
}

void ProjectOpenDialog::reject() {
    // Escape, like a click on the cancel button.
    if (closeCommand_) {
        hide();
        return;
    }
    cmdCancel_->click();
}

void ProjectOpenDialog::closeEvent(QCloseEvent* event) {
    // The user's close command (close button, Alt+F4) chooses no project.
    msProjectName.clear();
    closeCommand_ = true;
    QDialog::closeEvent(event);
    closeCommand_ = false;
}

FProjectOpen& FProjectOpen::Instance() {
    static FProjectOpen chooser;
    return chooser;
}

void FProjectOpen::ReadAhead() {
    ToolsApp::Instance().Registry()->ReadAhead(RegistryStore::HKEY_LOCAL_MACHINE);
}

QString FProjectOpen::ProjectName() {
    // Loading the window fills the list; a failure there ends the reading.
    const QString previous = msProjectName;
    auto dialog = std::make_unique<ProjectOpenDialog>(msProjectName, previous);
    dialog->setModal(true);
    dialog->exec();
    const QString result = msProjectName;
    dialog.reset();
    return result;
}
