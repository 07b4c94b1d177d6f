// import-runner <project> <lcid> <source>
// import-runner --languages <project>
// Runs one language import in a process of its own, for tests that kill it,
// run it as another user or on a full disk. Prints what the message box would
// show; exits 0 when the import succeeded, 1 when it failed. With --languages it
// lists the project's languages instead, one "<text>\t<lcid>" line each, or
// "<number>: <description>" and exit 1 when that fails.

#include "DBEngine.h"
#include "LanguageEntries.h"
#include "MLanguageTransfer.h"
#include "MessageBox.h"
#include "RuntimeError.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

int ListLanguages(const QString& project) {
    LanguageEntries list;
    try {
        MLanguageTransfer::FillLanguageList(project, list);
    } catch (const RuntimeError& error) {
        std::printf("%d: %s\n", error.Number(), error.Description().toUtf8().constData());
        return 1;
    }
    for (const auto& entry : list.Entries())
        std::printf("%s\t%d\n", entry.text.toUtf8().constData(), entry.lcid);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::string_view(argv[1]) == "--languages")
        return ListLanguages(QString::fromLocal8Bit(argv[2]));
    if (argc != 4) {
        std::fprintf(stderr, "usage: import-runner <project> <lcid> <source>\n");
        return 2;
    }
    MessageBox::SetHandler([](const MessageBox::Request& request) {
        std::printf("%s\n", request.text.toUtf8().constData());
        std::fflush(stdout);
        return MessageBox::Button::Ok;
    });
    if (const char* timeout = std::getenv("IMPORT_RUNNER_LOCK_TIMEOUT"))
        DBEngine::Instance().SetLockTimeout(std::atoi(timeout));
    const bool ok = MLanguageTransfer::TransferLanguage(
        QString::fromLocal8Bit(argv[1]), std::atoi(argv[2]), QString::fromLocal8Bit(argv[3]));
    return ok ? 0 : 1;
}
