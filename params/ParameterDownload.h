#pragma once
// Sends the operating parameters to the DSP program at the start of every identification and
// cancellation run.

#include "dsp/CommandLink.h"
#include "params/Message.h"
#include "params/ParameterCheck.h"

#include <QString>

namespace quiro {

// Converts and checks the nine texts, reads the chosen coefficient file from appDir, and only
// then writes the words and sends commands 12, 17 and (for a known filter type) 16. Returns true
// when all was sent. On bad input it writes nothing, sends nothing, shows one message naming each
// bad field or file, and returns false: the caller then starts no run.
bool DownloadParameters(CommandLink &link, const ParameterTexts &texts, const QString &appDir,
                        const ShowMessage &show);

} // namespace quiro
