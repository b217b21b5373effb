#pragma once
// The parameter set as the console's download sees it: nine texts in, checked values out, with
// the coefficient file read. Nothing here knows about widgets; the sending is params/Download.h.
//
// Every text is converted, and the chosen coefficient file read, before anything is sent. A bad
// text or file gives a list of problems in Japanese, one line each, naming the field or the file
// and why, and no values: the caller then sends nothing at all, rather than half a download.

#include "coeffile/CoefficientParser.h"
#include "params/Download.h"

#include <QString>
#include <QStringList>


namespace quiro {

// The nine texts of the main window's parameter fields.
struct ParameterTexts {
    QString cTapSize = QStringLiteral("256");
    QString wTapSize = QStringLiteral("256");
    QString cBeta = QStringLiteral("0.000001");
    QString wBeta = QStringLiteral("0.00001");
    QString cFreq = QStringLiteral("20000");
    QString cGain = QStringLiteral("1");
    QString wGain = QStringLiteral("1");
    QString dGain = QStringLiteral("1");
    QString dFilter = QStringLiteral("ﾛｰﾊﾟｽ");
};

struct CheckedParameters {
    ParameterValues values; // meaningful only when there are no problems
    QStringList problems;
    bool ok() const { return problems.isEmpty(); }
};

// The coefficient file of a filter type, compared character for character ("ﾛｰﾊﾟｽ" gives
// "LPF.COF"); empty for any other text, the empty text included.
QString coefficientFileName(const QString &filterType);

enum class FileStatus { Read, Missing, Unreadable };
struct CoefficientFileRead {
    FileStatus status = FileStatus::Missing;
    CoefficientResult content;
};
// Reads a coefficient file only as far as its count needs; the file is closed on return.
CoefficientFileRead readCoefficientFile(const QString &path);

CheckedParameters checkParameters(const ParameterTexts &texts, const QString &appDir);

// The message box that refuses a download.
inline const QString ParameterErrorTitle = QStringLiteral("パラメータエラー");
QString parameterErrorText(const QStringList &problems);

} // namespace quiro
