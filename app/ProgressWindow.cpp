#include "ProgressWindow.h"

#include "MessageBox.h"
#include "VectorRegisters.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace {

constexpr qint64 kShowAfterMs = 500;
constexpr int kSteps = 1000;

}  // namespace

ProgressWindow::ProgressWindow(QWidget* owner, QString label)
    : owner_(owner), label_(std::move(label)) {
    clock_.start();
    previous_ = MessageBox::SetHandler([this](const MessageBox::Request& request) {
        dialog_.reset();
        ended_ = true;
        if (previous_) return previous_(request);
        MessageBox::WriteToStandardError(request.text);
        return request.buttons.empty() ? MessageBox::Button::Ok : request.buttons.front();
    });
}

ProgressWindow::~ProgressWindow() { MessageBox::SetHandler(std::move(previous_)); }

MLanguageTransfer::ImportProgress ProgressWindow::Callback() {
    return [this](int64_t done, int64_t total) { return Update(done, total); };
}

bool ProgressWindow::Update(int64_t done, int64_t total) {
    if (!dialog_) {
        if (ended_ || clock_.elapsed() < kShowAfterMs) return true;
        dialog_ = std::make_unique<QProgressDialog>(QString(), QStringLiteral("Abbrechen"), 0,
                                                    kSteps, owner_);
        dialog_->setObjectName(QStringLiteral("frmProgress"));
        dialog_->setWindowTitle(MessageBox::ApplicationTitle());
        dialog_->setWindowModality(Qt::ApplicationModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->show();
    }
    dialog_->setLabelText(QString(label_).arg(GermanNumber(done), GermanNumber(total)));
    dialog_->setValue(total > 0 ? static_cast<int>(done * kSteps / total) : 0);
    QCoreApplication::processEvents();
    // Painting may have left the vector registers in a state that slows the work.
    VectorRegisters::ClearUpperHalves();
    return !dialog_->wasCanceled();
}
