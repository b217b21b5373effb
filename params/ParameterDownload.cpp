#include "params/ParameterDownload.h"

#include "params/FieldText.h"

#include <QWidget>

namespace quiro {

ParameterTexts parameterTextsOf(const QWidget &mainForm) {
    ParameterTexts texts;
    for (const ParameterField &f : parameterFields)
        texts.*f.text = fieldText(mainForm, QString::fromLatin1(f.objectName));
    return texts;
}

bool DownloadParameters(CommandLink &link, const QWidget &mainForm, const QString &appDir,
                        const ShowMessage &show) {
    const CheckedParameters checked = checkParameters(parameterTextsOf(mainForm), appDir);
    if (!checked.ok()) {
        show(MessageIcon::Exclamation, parameterErrorText(checked.problems), ParameterErrorTitle);
        return false;
    }
    sendParameters(link, checked.values);
    return true;
}

} // namespace quiro
