#include "ToolsApp.h"

ToolsApp& ToolsApp::Instance() {
    static ToolsApp app;
    return app;
}
