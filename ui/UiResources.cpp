#include "UiResources.h"

// Resources of a static library are registered by name, outside any namespace.
static void InitResources() { Q_INIT_RESOURCE(app); }

namespace UiResources {

QIcon WindowIcon() {
    InitResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/app/icon16.xpm"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/app/icon32.xpm"), QSize(32, 32));
    return icon;
}

QIcon Binoculars() {
    InitResources();
    return QIcon(QStringLiteral(":/app/binoculars.xpm"));
}

}  // namespace UiResources
