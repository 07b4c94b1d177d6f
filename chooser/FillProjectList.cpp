#include "FillProjectList.h"

#include "MText.h"
#include "RegistryStore.h"
#include "ReportListView.h"
#include "RuntimeError.h"
#include "ToolsApp.h"

#include <QDir>

namespace {

constexpr uint32_t HKEY_LOCAL_MACHINE = RegistryStore::HKEY_LOCAL_MACHINE;

int32_t TypeValue(const QString& typeText) {
    MText::ProjectTypeResult result = MText::ConvertProjectType(typeText);
    if (const int32_t* value = std::get_if<int32_t>(&result)) return *value;
    throw RuntimeError::ProjectTypeMismatch(typeText);
}

}  // namespace

void FillProjectList(ReportListView& listView, int32_t typeMask) {
    // The registrations are read whole before the first one is removed.
    const auto projects = ToolsApp::Instance().Registry()->ReadSubKeyValues(
        HKEY_LOCAL_MACHINE, kProjectsKey, {QStringLiteral("ProjectType"), QStringLiteral("Path")});
    for (const auto& project : projects) {
        const QString& name = project.name;
        const QString& typeText = project.values[0];
        const int32_t typeValue = TypeValue(typeText);
        const QString& directory = project.values[1];
        if (!ToolsApp::Instance().Files()->FileExists(
                RegisteredProjectFile(directory, name, typeValue))) {
            ToolsApp::Instance().Registry()->DeleteKey(HKEY_LOCAL_MACHINE,
                                                       kProjectsKey + QLatin1Char('\\') + name);
            continue;
        }
        if ((typeValue & typeMask) == 0) continue;
        QTreeWidgetItem* item = listView.AddItem(QStringLiteral("S:") + name.toLower(), name);
        listView.SetSubItem(item, 1, directory);
        listView.SetSubItem(item, 2, typeText);
    }
    if (QTreeWidgetItem* selected = listView.SelectedItem()) listView.SetSelected(selected, false);
    listView.SetColumnWidth(0, ReportListView::kAutoSize);
    listView.SetColumnWidth(1, ReportListView::kAutoSize);
    listView.SetColumnWidth(2, ReportListView::kAutoSizeUseHeader);
}
