#pragma once

#include "CodePage.h"
#include "FileTools.h"
#include "RegistryFixture.h"
#include "TestSupport.h"

#include <QLocale>

#include <unicode/uloc.h>

#include <memory>
#include <vector>

// What every widget test starts from, as the tool runs: German throughout (Qt's
// and the system's language names), the system code page 1252, a fresh
// temporary folder with a registry store of its own, message boxes recorded and
// the open-file dialog answered through its seam. A test class derives from it
// and calls Start in init() and Stop in cleanup().
class WidgetFixture {
  protected:
    void Start() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        UErrorCode status = U_ZERO_ERROR;
        uloc_setDefault("de_DE", &status);
        CodePage::SetSystemAnsiCodePage(1252);
        folder = std::make_unique<TempFolder>();
        store = std::make_unique<ScopedRegistryStore>(folder->Path(QStringLiteral("config")));
        messages = std::make_unique<MessageRecorder>();
        dialogs.clear();
        dialogAnswer.clear();
        FileTools::SetOpenDialogHandler([this](const FileTools::OpenDialogRequest& request) {
            dialogs.push_back(request);
            return dialogAnswer;
        });
    }
    void Stop() {
        FileTools::SetOpenDialogHandler(nullptr);
        messages.reset();
        store.reset();
        folder.reset();
        CodePage::SetSystemAnsiCodePage(std::nullopt);
    }

    std::unique_ptr<TempFolder> folder;
    std::unique_ptr<ScopedRegistryStore> store;
    std::unique_ptr<MessageRecorder> messages;
    std::vector<FileTools::OpenDialogRequest> dialogs;  // the open-file dialogs shown
    QString dialogAnswer;                               // what the next one answers
};
