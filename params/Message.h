#pragma once
// How the program shows a modal message to the operator. The program shows a message box; tests
// inject a function that records the message instead of blocking on a modal box.

#include <QString>

#include <functional>

namespace quiro {

enum class MessageIcon { Exclamation, Critical };

using ShowMessage =
    std::function<void(MessageIcon icon, const QString &text, const QString &title)>;

// Shows a modal message box with an OK button only.
void showMessageBox(MessageIcon icon, const QString &text, const QString &title);

} // namespace quiro
