#include "LongMessageDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QStyle::StandardPixmap StandardIcon(QMessageBox::Icon icon) {
    switch (icon) {
        case QMessageBox::Warning:
            return QStyle::SP_MessageBoxWarning;
        case QMessageBox::Critical:
            return QStyle::SP_MessageBoxCritical;
        case QMessageBox::Question:
            return QStyle::SP_MessageBoxQuestion;
        default:
            return QStyle::SP_MessageBoxInformation;
    }
}

}  // namespace

LongMessageDialog::LongMessageDialog(QMessageBox::Icon icon, const QString& title,
                                     const QString& text, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    setModal(true);

    icon_ = new QLabel(this);
    if (icon != QMessageBox::NoIcon) {
        const int extent = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon_->setPixmap(
            style()->standardIcon(StandardIcon(icon), nullptr, this).pixmap(extent, extent));
    }
    icon_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    text_ = new QTextEdit(this);
    text_->setPlainText(text);
    text_->setObjectName(QStringLiteral("messageText"));
    text_->setReadOnly(true);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPalette palette = text_->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    text_->setPalette(palette);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon_);
    row->addWidget(text_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row, 1);
    layout->addWidget(buttons_);
    buttons_->button(QDialogButtonBox::Ok)->setFocus();

    FitToScreen();
}

void LongMessageDialog::FitToScreen() {
    QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    const QRect available = screen->availableGeometry();
    const int width = std::min(640, available.width() * 9 / 10);

    // The text's height once wrapped at the width it gets beside the icon, plus
    // what the box needs around it; what does not fit in 80 % of the screen scrolls.
    const QMargins margins = layout()->contentsMargins();
    const int spacing = style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, this);
    const int textWidth = width - margins.left() - margins.right() - icon_->sizeHint().width() -
                          std::max(spacing, 0) - 2 * text_->frameWidth();
    std::unique_ptr<QTextDocument> measure(text_->document()->clone());
    measure->setTextWidth(textWidth);
    const int chrome = margins.top() + margins.bottom() + layout()->spacing() +
                       buttons_->sizeHint().height() + 2 * text_->frameWidth();
    const int wanted = static_cast<int>(std::ceil(measure->size().height())) + chrome +
                       text_->fontMetrics().lineSpacing();
    resize(width, std::min(wanted, available.height() * 8 / 10));
    move(available.center() - rect().center());
}
