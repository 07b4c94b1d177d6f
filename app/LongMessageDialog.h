#pragma once

#include <QDialog>
#include <QMessageBox>

class QDialogButtonBox;
class QLabel;
class QTextEdit;

// A message box for texts too long for QMessageBox: QMessageBox caps its width
// and cannot break a long path, so its lines end at the right edge and, without
// a window manager, the last paragraphs fall off the screen. This box wraps
// every line (long words anywhere), sizes itself to the screen it opens on and
// scrolls what does not fit; it keeps the icon, the title and the one OK button.
class LongMessageDialog : public QDialog {
  public:
    LongMessageDialog(QMessageBox::Icon icon, const QString& title, const QString& text,
                      QWidget* parent);

  private:
    void FitToScreen();

    QLabel* icon_;
    QTextEdit* text_;
    QDialogButtonBox* buttons_;
};
