#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The message box, the one way the program tells the user something or asks
// them. The windows install a real dialog; tests install a recorder that
// answers. Without a handler the message goes to standard error and the first
// button is the answer.
namespace MessageBox {

enum class Icon { None, Information, Warning, Critical, Question };

// The buttons a box may offer, with German labels and access keys.
enum class Button { Ok, Yes, No, Undo, Keep, Overwrite, Cancel };

struct Request {
    QString text;
    Icon icon = Icon::None;
    QString details;  // a longer text the user can open from the box
    // The buttons in their order: the first is the default. Empty: OK alone.
    std::vector<Button> buttons;
    // The button Escape and the window's close box answer; none: the last.
    std::optional<Button> escape;
};

// The title every message box of the program carries.
QString ApplicationTitle();

// Shows the box and returns the button the user chose.
Button Ask(const Request& request);
// A message with OK alone.
void Show(const QString& text, Icon icon, const QString& details = {});

// What Show does without a handler.
void WriteToStandardError(const QString& text);

using Handler = std::function<Button(const Request& request)>;
// Installs a handler and returns the one it replaces.
Handler SetHandler(Handler handler);

}  // namespace MessageBox
