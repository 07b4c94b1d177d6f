#include "QtDialogs.h"

#include "FileTools.h"
#include "LongMessageDialog.h"
#include "MessageBox.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace QtDialogs {
namespace {

constexpr int32_t kFileMustExist = 0x1000;
constexpr qsizetype kLongText = 300;

QMessageBox::Icon QtIcon(MessageBox::Icon icon) {
    switch (icon) {
        case MessageBox::Icon::Information:
            return QMessageBox::Information;
        case MessageBox::Icon::Warning:
            return QMessageBox::Warning;
        case MessageBox::Icon::Critical:
            return QMessageBox::Critical;
        case MessageBox::Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// The platform's message box with OK and a "Details…" button that opens the
// details in a box of their own and leaves this one open.
void ShowWithDetails(const QString& text, MessageBox::Icon icon, const QString& details) {
    QMessageBox box(QtIcon(icon), MessageBox::ApplicationTitle(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    QPushButton* more = box.addButton(QStringLiteral("Details\u2026"), QMessageBox::ActionRole);
    more->setObjectName(QStringLiteral("cmdDetails"));
    // The box closes on any of its buttons; this one only opens the details.
    more->disconnect();
    QObject::connect(more, &QPushButton::clicked, &box, [&box, icon, details] {
        LongMessageDialog list(QtIcon(icon), MessageBox::ApplicationTitle(), details, &box);
        list.setObjectName(QStringLiteral("frmDetails"));
        list.exec();
    });
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

}  // namespace

QStringList NameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns.trimmed() == QLatin1String("*.*")) patterns = QStringLiteral("*");
        filters.append(parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters;
}

void InstallMessageBox() {
    MessageBox::SetHandler([](const QString& text, MessageBox::Icon icon, const QString& details) {
        if (!details.isEmpty()) {
            ShowWithDetails(text, icon, details);
            return;
        }
        // Long texts (the chooser's help, descriptions with long paths) get a box
        // that wraps and scrolls; short ones the platform's own message box.
        if (text.size() > kLongText) {
            LongMessageDialog box(QtIcon(icon), MessageBox::ApplicationTitle(), text,
                                  QApplication::activeWindow());
            box.exec();
            return;
        }
        QMessageBox box(QtIcon(icon), MessageBox::ApplicationTitle(), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    });
}

void InstallOpenDialog() {
    FileTools::SetOpenDialogHandler([](const FileTools::OpenDialogRequest& request) {
        QWidget* owner = QWidget::find(static_cast<WId>(request.owner));
        QFileDialog dialog(owner, request.title, request.initialPath);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((request.flags & kFileMustExist) ? QFileDialog::ExistingFile
                                                            : QFileDialog::AnyFile);
        const QStringList filters = NameFilters(request.filter);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            dialog.selectNameFilter(filters.first());
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return QDir::toNativeSeparators(dialog.selectedFiles().first());
    });
}

}  // namespace QtDialogs
