#pragma once

class QWidget;

// Centres a window on the screen, as the windows of the tool open.
void CentreOnScreen(QWidget* window);
