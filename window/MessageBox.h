#pragma once
// The modal message box through which the program shows a message to the operator.

#include "params/Message.h"

namespace quiro {

// Shows a modal message box with an OK button only.
void showMessageBox(MessageIcon icon, const QString &text, const QString &title);

} // namespace quiro
