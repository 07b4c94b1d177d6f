#include "EventGuard.h"

#include "MessageBox.h"
#include "RuntimeError.h"

#include <new>

namespace {

void ShowRuntimeError(int number, const QString& description) {
    MessageBox::Show(QStringLiteral("Laufzeitfehler '%1':\n\n%2").arg(number).arg(description),
                     MessageBox::Icon::Critical);
}

}  // namespace

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RuntimeError& error) {
        ShowRuntimeError(error.Number(), error.Description());
    } catch (const std::bad_alloc&) {
        ShowRuntimeError(7, QStringLiteral("Nicht genügend Arbeitsspeicher."));
    } catch (const std::exception& error) {
        ShowRuntimeError(ErrorNumber::ReservedError, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowRuntimeError(ErrorNumber::ReservedError, QStringLiteral("Unbekannter Fehler."));
    }
}
