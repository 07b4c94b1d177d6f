#include "ImportUndo.h"

#include "CodePage.h"
#include "ImportReport.h"
#include "MessageBox.h"
#include "Variant.h"

#include <QFileInfo>
#include <QStringList>

namespace ImportUndo {
namespace {

using MessageBox::Button;

QString Quoted(const QString& text) {
    return QStringLiteral("\u201E") + text + QStringLiteral("\u201C");
}

// The language's name without its country: "Russisch".
QString LanguageOf(int32_t lcid) {
    const QString name = CodePage::LanguageName(lcid).value_or(QStringLiteral("L%1").arg(lcid));
    return name.section(QStringLiteral(" ("), 0, 0);
}

// Whether to overwrite the texts that changed since the import; nothing when
// the user cancels.
std::optional<bool> AskAboutConflicts(const std::vector<UndoStore::Conflict>& conflicts) {
    QStringList lines;
    for (const auto& conflict : conflicts)
        lines << QStringLiteral("ID %1: %2")
                     .arg(ShortestDecimal(conflict.id),
                          conflict.gone
                              ? QStringLiteral("Zeile gel\u00F6scht")
                              : QStringLiteral("%1 statt %2")
                                    .arg(Quoted(conflict.current), Quoted(conflict.written)));
    const auto count = static_cast<int64_t>(conflicts.size());
    const QString question =
        count == 1 ? QStringLiteral(
                         "1 Text wurde seit dem Import ge\u00E4ndert (ein anderes Programm "
                         "hat ihn geschrieben). Soll er bleiben, wie er jetzt ist, oder "
                         "den Stand vor dem Import bekommen?")
                   : QStringLiteral(
                         "%1 wurden seit dem Import ge\u00E4ndert (ein anderes Programm "
                         "hat sie geschrieben). Sollen sie bleiben, wie sie jetzt sind, "
                         "oder den Stand vor dem Import bekommen?")
                         .arg(TextCount(count));
    const Button answer = MessageBox::Ask({question,
                                           MessageBox::Icon::Question,
                                           lines.join(QLatin1Char('\n')),
                                           {Button::Keep, Button::Overwrite, Button::Cancel},
                                           Button::Cancel});
    if (answer == Button::Cancel) return std::nullopt;
    return answer == Button::Overwrite;
}

}  // namespace

std::optional<UndoStore::Entry> JustDone(const QString& projectFile) {
    const auto entries = UndoStore::List(projectFile);
    if (entries.empty() || entries.front().undone) return std::nullopt;
    return entries.front();
}

void Offer(const QString& projectFile, const QString& projectName, const QString& sourceFile,
           const UndoStore::Entry& entry) {
    const Button sure =
        MessageBox::Ask({QStringLiteral("Den Import von %1 in %2 (%3, %4) zur\u00FCcknehmen?")
                             .arg(Quoted(QFileInfo(sourceFile).fileName()), Quoted(projectName),
                                  LanguageOf(entry.lcid), TextCount(entry.rows)),
                         MessageBox::Icon::Question,
                         {},
                         {Button::Yes, Button::No},
                         Button::No});
    if (sure != Button::Yes) return;
    const auto conflicts = UndoStore::ConflictsOfLast(projectFile, entry.id);
    bool overwrite = false;
    if (!conflicts.empty()) {
        const auto answer = AskAboutConflicts(conflicts);
        if (!answer) return;
        overwrite = *answer;
    }
    const UndoStore::UndoResult result = UndoStore::UndoLast(projectFile, overwrite, entry.id);
    QString done = QStringLiteral("Import zur\u00FCckgenommen: %1 wiederhergestellt.")
                       .arg(TextCount(result.reverted));
    if (!result.conflicts.empty() && !overwrite)
        done +=
            QStringLiteral(" %1 seit dem Import ge\u00E4ndert und %2 geblieben.")
                .arg(result.conflicts.size() == 1
                         ? QStringLiteral("1 Text ist")
                         : TextCount(static_cast<int64_t>(result.conflicts.size())) +
                               QStringLiteral(" sind"),
                     result.conflicts.size() == 1 ? QStringLiteral("ist") : QStringLiteral("sind"));
    MessageBox::Show(done, MessageBox::Icon::Information);
}

}  // namespace ImportUndo
