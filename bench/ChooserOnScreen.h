#pragma once

#include <QString>

#include <optional>
#include <vector>

// The project chooser as its user meets it: the import window runs as a process
// of its own on an X server (the display set, or an Xvfb started for it), its
// binoculars are clicked through the X server, and the time runs from the click
// until the chooser's list shows painted rows on the screen.
namespace ChooserOnScreen {

// The seconds of each of `runs` clicks, one window process each, with the
// projects registered under configHome (XDG_CONFIG_HOME); nothing, and why in
// `why`, when no X server or no xdotool is at hand.
std::optional<std::vector<double>> Measure(const QString& windowProgram, const QString& configHome,
                                           int runs, QString& why);

}  // namespace ChooserOnScreen
