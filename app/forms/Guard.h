#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace app::forms {

// Runs a handler and shows any error it raises in the standard error box
// (owned by `owner`, titled with its caption, the error's own text), so that
// no exception reaches the event loop. Returns false when an error was shown.
bool Guarded(QWidget* owner, const std::function<void()>& handler);

// The standard error box.
void ShowError(QWidget* owner, const QString& text);

// The hourglass for the length of a command, restored on both paths.
class BusyCursor {
  public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace app::forms
