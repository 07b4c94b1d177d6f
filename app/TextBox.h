#pragma once

#include <QLineEdit>

// A single-line text box that only the program writes: the user cannot type into
// it, it shows the button-face background, and it reports double clicks. Setting
// its text raises textChanged, its change notification.
class TextBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit TextBox(QWidget* parent = nullptr);

  signals:
    void doubleClicked();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
