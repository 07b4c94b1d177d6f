#include "EventGuard.h"

#include "MessageBox.h"
#include "RuntimeError.h"

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        const RuntimeError error = RuntimeError::FromCurrentException();
        MessageBox::Show(QStringLiteral("Laufzeitfehler '%1':\n\n%2")
                             .arg(error.Number())
                             .arg(error.Description()),
                         MessageBox::Icon::Critical);
    }
}
