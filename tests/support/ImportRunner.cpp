// import-runner <project> <lcid> <source>
// Runs one language import in a process of its own, for tests that kill it,
// run it as another user or on a full disk. Prints what the message box would
// show; exits 0 when the import succeeded, 1 when it failed.

#include "DBEngine.h"
#include "MLanguageTransfer.h"
#include "MessageBox.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: import-runner <project> <lcid> <source>\n");
        return 2;
    }
    MessageBox::SetHandler([](const QString& text, MessageBox::Icon) {
        std::printf("%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    if (const char* timeout = std::getenv("IMPORT_RUNNER_LOCK_TIMEOUT"))
        DBEngine::Instance().SetLockTimeout(std::atoi(timeout));
    const bool ok = MLanguageTransfer::TransferLanguage(
        QString::fromLocal8Bit(argv[1]), std::atoi(argv[2]), QString::fromLocal8Bit(argv[3]));
    return ok ? 0 : 1;
}
