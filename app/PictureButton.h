#pragma once

#include <QString>

class QPushButton;
class QWidget;

// A picture button without a caption, the binoculars on it, as the windows'
// browse buttons are; never a default button.
QPushButton* PictureButton(QWidget* parent, const QString& objectName);
