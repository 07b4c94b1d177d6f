// quorvin-language-export: the export window.
#include "Application.h"
#include "FLanguageExport.h"

int main(int argc, char* argv[]) {
    return RunWindow(argc, argv, QStringLiteral("QuorvinStudio Sprachexport"),
                     [] { return std::make_unique<FLanguageExport>(); });
}
