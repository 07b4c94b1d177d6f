#include "PictureButton.h"

#include "UiResources.h"

#include <QPushButton>

QPushButton* PictureButton(QWidget* parent, const QString& objectName) {
    auto* button = new QPushButton(parent);
    button->setObjectName(objectName);
    button->setIcon(UiResources::Binoculars());
    button->setIconSize(QSize(15, 13));
    button->setAutoDefault(false);
    return button;
}
