#include "params/ParameterDownload.h"

namespace quiro {

bool DownloadParameters(CommandLink &link, const ParameterTexts &texts, const QString &appDir,
                        const ShowMessage &show) {
    const CheckedParameters checked = checkParameters(texts, appDir);
    if (!checked.ok()) {
        show(MessageIcon::Exclamation, parameterErrorText(checked.problems), ParameterErrorTitle);
        return false;
    }
    sendParameters(link, checked.values);
    return true;
}

} // namespace quiro
