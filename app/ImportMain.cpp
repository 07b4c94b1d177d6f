// quorvin-language-import: the import window.
#include "Application.h"
#include "FLanguageTransfer.h"

int main(int argc, char* argv[]) {
    return RunWindow(argc, argv, QStringLiteral("QuorvinStudio Sprachimport"),
                     [] { return std::make_unique<FLanguageTransfer>(); });
}
