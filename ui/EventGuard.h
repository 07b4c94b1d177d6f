#pragma once

#include <functional>

// Runs an event handler so that no error leaves it: an error that the handler does
// not catch is shown in a message box with its number and description, and the
// window stays open with what the handler did before the error kept. Every event
// handler of the windows goes through here, so no exception crosses Qt's event loop.
void RunGuarded(const std::function<void()>& handler);
