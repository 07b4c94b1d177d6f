#include "TextBox.h"

#include <QMouseEvent>

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Button));
    setPalette(colours);
}

void TextBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QLineEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}
