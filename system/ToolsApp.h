#pragma once

#include "FileTools.h"
#include "RegistryTools.h"

#include <memory>

// The tools library: one object per process, created on first use. Each caller asks
// it for a fresh FileTools or RegistryTools object for one call.
class ToolsApp {
  public:
    static ToolsApp& Instance();

    std::unique_ptr<FileTools> Files() const { return std::make_unique<FileTools>(); }
    std::unique_ptr<RegistryTools> Registry() const { return std::make_unique<RegistryTools>(); }

  private:
    ToolsApp() = default;
};
