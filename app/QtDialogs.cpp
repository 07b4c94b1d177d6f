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

constexpr int32_t kSave = 2;
constexpr int32_t kFileMustExist = 0x1000;
constexpr int32_t kAskBeforeOverwrite = 0x2;
constexpr qsizetype kLongText = 300;

QMessageBox::Icon QtIcon(MessageBox::Icon icon) {
    switch (icon) {
        case MessageBox::Icon::Information:
            return QMessageBox::Information;
        case MessageBox::Icon::Warning:
            return QMessageBox::Warning;
        case MessageBox::Icon::Critical:
            return QMessageBox::Critical;
        case MessageBox::Icon::Question:
            return QMessageBox::Question;
        case MessageBox::Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// A button of the box: Qt's own for OK, ours with German labels for the others.
QAbstractButton* AddButton(QMessageBox& box, MessageBox::Button button) {
    switch (button) {
        case MessageBox::Button::Ok:
            return box.addButton(QMessageBox::Ok);
        case MessageBox::Button::Yes:
            return box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
        case MessageBox::Button::No:
            return box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
        case MessageBox::Button::Cancel:
            return box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
        case MessageBox::Button::Undo:
            return box.addButton(QStringLiteral("&R\u00FCckg\u00E4ngig"), QMessageBox::ActionRole);
        case MessageBox::Button::Keep:
            return box.addButton(QStringLiteral("&Behalten"), QMessageBox::AcceptRole);
        case MessageBox::Button::Overwrite:
            return box.addButton(QStringLiteral("\u00DC&berschreiben"),
                                 QMessageBox::DestructiveRole);
    }
    return nullptr;
}

const char* ObjectName(MessageBox::Button button) {
    switch (button) {
        case MessageBox::Button::Ok:
            return "cmdOk";
        case MessageBox::Button::Yes:
            return "cmdYes";
        case MessageBox::Button::No:
            return "cmdNo";
        case MessageBox::Button::Cancel:
            return "cmdCancel";
        case MessageBox::Button::Undo:
            return "cmdUndo";
        case MessageBox::Button::Keep:
            return "cmdKeep";
        case MessageBox::Button::Overwrite:
            return "cmdOverwrite";
    }
    return "";
}

// A "Details…" button that opens the details in a box of their own and leaves
// this one open.
void AddDetails(QMessageBox& box, MessageBox::Icon icon, const QString& details) {
    QPushButton* more = box.addButton(QStringLiteral("Details\u2026"), QMessageBox::ActionRole);
    more->setObjectName(QStringLiteral("cmdDetails"));
    // The box closes on any of its buttons; this one only opens the details.
    more->disconnect();
    QObject::connect(more, &QPushButton::clicked, &box, [&box, icon, details] {
        LongMessageDialog list(QtIcon(icon), MessageBox::ApplicationTitle(), details, &box);
        list.setObjectName(QStringLiteral("frmDetails"));
        list.exec();
    });
}

// The platform's message box with the buttons asked for (the first the default,
// the last the one Escape answers) and, with details, "Details…".
MessageBox::Button AskInBox(const MessageBox::Request& request) {
    QMessageBox box(QtIcon(request.icon), MessageBox::ApplicationTitle(), request.text,
                    QMessageBox::NoButton, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("frmMessage"));
    std::vector<MessageBox::Button> buttons = request.buttons;
    if (buttons.empty()) buttons.push_back(MessageBox::Button::Ok);
    std::vector<QAbstractButton*> shown;
    for (const MessageBox::Button button : buttons) {
        shown.push_back(AddButton(box, button));
        shown.back()->setObjectName(QString::fromLatin1(ObjectName(button)));
    }
    if (!request.details.isEmpty()) AddDetails(box, request.icon, request.details);
    if (auto* first = qobject_cast<QPushButton*>(shown.front())) box.setDefaultButton(first);
    size_t escape = shown.size() - 1;
    for (size_t i = 0; i < buttons.size(); ++i)
        if (request.escape == buttons[i]) escape = i;
    box.setEscapeButton(shown[escape]);
    box.exec();
    for (size_t i = 0; i < shown.size(); ++i)
        if (box.clickedButton() == shown[i]) return buttons[i];
    return buttons[escape];
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
    MessageBox::SetHandler([](const MessageBox::Request& request) {
        // A long message alone (the chooser's help, descriptions with long paths)
        // gets a box that wraps and scrolls; every other the platform's own box.
        if (request.details.isEmpty() && request.buttons.empty() &&
            request.text.size() > kLongText) {
            LongMessageDialog box(QtIcon(request.icon), MessageBox::ApplicationTitle(),
                                  request.text, QApplication::activeWindow());
            box.exec();
            return MessageBox::Button::Ok;
        }
        return AskInBox(request);
    });
}

void InstallFileDialog() {
    FileTools::SetOpenDialogHandler([](const FileTools::OpenDialogRequest& request) {
        QWidget* owner = QWidget::find(static_cast<WId>(request.owner));
        QFileDialog dialog(owner, request.title, request.initialPath);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        const bool save = request.mode == kSave;
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode((request.flags & kFileMustExist) ? QFileDialog::ExistingFile
                                                            : QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(request.flags & kAskBeforeOverwrite));
        const QStringList filters = NameFilters(request.filter);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            dialog.selectNameFilter(filters.first());
        }
        // A name typed without an extension gets the one of the chosen format.
        auto suffix = [&dialog](const QString& filter) {
            const QString pattern =
                filter.section(QStringLiteral("(*."), 1).section(QLatin1Char(')'), 0, 0);
            dialog.setDefaultSuffix(pattern.contains(QLatin1Char('*')) ? QString() : pattern);
        };
        if (save && !filters.isEmpty()) {
            suffix(filters.first());
            QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, suffix);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return QDir::toNativeSeparators(dialog.selectedFiles().first());
    });
}

}  // namespace QtDialogs
