#pragma once
// How the program shows a modal message to the operator. The window shows a message box
// (window/MessageBox.h); tests inject a function that records the message instead.

#include <QString>

#include <functional>

namespace quiro {

enum class MessageIcon { Exclamation, Critical };

using ShowMessage =
    std::function<void(MessageIcon icon, const QString &text, const QString &title)>;

} // namespace quiro
