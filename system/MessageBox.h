#pragma once

#include <QString>
#include <functional>

// The message box, the one way the program tells the user something. The window
// installs a real dialog; tests install a recorder. Without a handler the message
// goes to standard error.
namespace MessageBox {

enum class Icon { None, Information, Warning, Critical };

// The title every message box of the program carries.
QString ApplicationTitle();

// details, when given, is a longer text the user can open from the box.
void Show(const QString& text, Icon icon, const QString& details = {});

// What Show does without a handler.
void WriteToStandardError(const QString& text);

using Handler = std::function<void(const QString& text, Icon icon, const QString& details)>;
// Installs a handler and returns the one it replaces.
Handler SetHandler(Handler handler);

}  // namespace MessageBox
