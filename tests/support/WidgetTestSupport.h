#pragma once

#include "SortedComboBox.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

// A real double click: the first click arrives as press and release, the second
// as a double-click event.
inline void DoubleClick(QWidget* widget, QPoint point) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, point);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, point);
}

// Answers the modal dialog that the next statement opens: the actions run inside
// its event loop. If they leave it open (a failed check returns early), it is
// closed, so a test never hangs on it.
inline void AnswerNextModalDialog(QObject* context, std::function<void(QDialog*)> actions) {
    QTimer::singleShot(0, context, [actions = std::move(actions)] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY2(dialog, "no modal dialog is shown");
        QPointer<QDialog> alive(dialog);
        actions(dialog);
        if (alive && alive->isVisible()) alive->close();
    });
}

// Answers a series of modal dialogs that open one after the other, each once it
// shows: the actions run inside its event loop, in turn. A dialog they leave
// open is closed, so a test never hangs; after 10 s without the next dialog the
// rest are given up (the test's checks then fail).
class ModalAnswers : public QObject {
  public:
    explicit ModalAnswers(std::vector<std::function<void(QDialog*)>> answers)
        : answers_(std::move(answers)) {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
        clock_.start();
    }
    size_t Answered() const { return next_; }

  private:
    void Poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (next_ >= answers_.size() || clock_.elapsed() > 10000) {
            timer_.stop();
            return;
        }
        if (!dialog || !dialog->isVisible() || dialog == last_) return;
        last_ = dialog;
        clock_.restart();
        QPointer<QDialog> alive(dialog);
        answers_[next_++](dialog);
        if (alive && alive->isVisible()) alive->close();
    }

    std::vector<std::function<void(QDialog*)>> answers_;
    size_t next_ = 0;
    QPointer<QDialog> last_;
    QTimer timer_;
    QElapsedTimer clock_;
};

// Selects the language entry with that LCID as its item data, as a user's click does.
inline void SelectLanguage(SortedComboBox* languages, int32_t lcid) {
    for (int i = 0; i < languages->count(); ++i)
        if (languages->ItemData(i) == lcid) languages->setCurrentIndex(i);
}

// A control of a window by its name; the test stops when there is none.
template <typename T>
T* ControlOf(QWidget* window, const char* name) {
    T* control = window->findChild<T*>(QString::fromLatin1(name));
    if (!control) qFatal("no control %s", name);
    return control;
}
