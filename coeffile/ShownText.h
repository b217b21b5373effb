#pragma once
// Text from outside (a file's item, a key, a command-line argument) as a message may quote it:
// every control byte and DEL written as an escape ("\0", "\t", "\n", "\r", otherwise "\xHH") and a
// backslash doubled, so that a NUL cannot cut the message short and a line end cannot forge a
// line of its own. Other bytes, UTF-8 included, are kept as they are.

#include <string>
#include <string_view>

namespace quiro {

std::string shownText(std::string_view text);

} // namespace quiro
