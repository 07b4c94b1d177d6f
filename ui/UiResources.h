#pragma once

#include <QIcon>

// The pictures every window of the tool shares.
namespace UiResources {

// The window icon, 16 and 32 pixels, 16 colours.
QIcon WindowIcon();
// The binoculars of the browse buttons, 15 x 13 pixels, transparent background.
QIcon Binoculars();

}  // namespace UiResources
