#include "params/ParameterCheck.h"

#include "coeffile/NumberText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>

namespace quiro {

namespace {

struct FilterType {
    const char16_t *name;
    const char *file;
};
constexpr FilterType filterTypes[] = {
    {u"ﾛｰﾊﾟｽ", "LPF.COF"},
    {u"ｽﾙｰ", "THRU.COF"},
    {u"ﾊｲﾊﾟｽ", "HPF.COF"},
    {u"ﾕｰｻﾞｰ", "USER.COF"},
};

// The numeric fields, in the order their words are written, with the names the dialog shows.
struct TapField {
    QString ParameterTexts::*text;
    std::int32_t ParameterValues::*value;
    const char16_t *label;
};
constexpr TapField tapFields[] = {
    {&ParameterTexts::cTapSize, &ParameterValues::cTapSize, u"同定系フィルターのタップ数"},
    {&ParameterTexts::wTapSize, &ParameterValues::wTapSize, u"消音系フィルターのタップ数"},
};

struct RealField {
    QString ParameterTexts::*text;
    float ParameterValues::*value;
    const char16_t *label;
};
constexpr RealField realFields[] = {
    {&ParameterTexts::cBeta, &ParameterValues::cBeta, u"同定系フィルターのｽﾃｯﾌﾟｻｲｽﾞβ"},
    {&ParameterTexts::wBeta, &ParameterValues::wBeta, u"消音系フィルターのｽﾃｯﾌﾟｻｲｽﾞβ"},
    {&ParameterTexts::cFreq, &ParameterValues::cFreq, u"ｻﾝﾌﾟﾘﾝｸﾞ周波数"},
    {&ParameterTexts::cGain, &ParameterValues::cGain, u"同定系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"},
    {&ParameterTexts::wGain, &ParameterValues::wGain, u"消音系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"},
    {&ParameterTexts::dGain, &ParameterValues::dGain, u"加振信号フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"},
};

constexpr qsizetype ShownTextLength = 32;

QString shown(const QString &text) {
    return text.size() > ShownTextLength ? text.left(ShownTextLength) + QStringLiteral("...")
                                         : text;
}

QString fieldProblem(const char16_t *label, const QString &text, NumberStatus status,
                     const QString &range) {
    const QString head = QStringLiteral("「%1」の値「%2」は").arg(QString::fromUtf16(label), shown(text));
    if (status == NumberStatus::NotANumber)
        return head + QStringLiteral("数値ではありません。");
    return head + QStringLiteral("範囲外です（%1）。").arg(range);
}

QString fileProblem(const QString &path, const CoefficientFileRead &read) {
    const QString file = QStringLiteral("係数ファイル「%1」").arg(QDir::toNativeSeparators(path));
    const CoefficientResult &r = read.content;
    const QString item = QString::fromUtf8(r.item.data(), static_cast<qsizetype>(r.item.size()));
    switch (read.status) {
    case FileStatus::Missing:
        return file + QStringLiteral("が見つかりません。");
    case FileStatus::Unreadable:
        return file + QStringLiteral("を読み込めません。");
    case FileStatus::Read:
        break;
    }
    switch (r.problem) {
    case CoefficientProblem::None:
        return {};
    case CoefficientProblem::NoCount:
        return file + QStringLiteral("に係数の数がありません。");
    case CoefficientProblem::BadCount:
        return file + QStringLiteral("の%1行目：係数の数「%2」が0～%3の整数ではありません。")
                          .arg(r.line)
                          .arg(item)
                          .arg(MaxCoefficients);
    case CoefficientProblem::BadCoefficient:
        return file + QStringLiteral("の%1行目：係数「%2」が数値ではないか、大きすぎます。")
                          .arg(r.line)
                          .arg(item);
    case CoefficientProblem::EndsEarly:
        return file + QStringLiteral("は係数の数%1に対して係数が%2個しかありません。")
                          .arg(r.count)
                          .arg(r.coefficients.size());
    }
    return {};
}

} // namespace

QString coefficientFileName(const QString &filterType) {
    for (const FilterType &t : filterTypes)
        if (filterType == QString::fromUtf16(t.name))
            return QString::fromLatin1(t.file);
    return {};
}

CoefficientFileRead readCoefficientFile(const QString &path) {
    CoefficientFileRead read;
    if (!QFileInfo::exists(path)) {
        read.status = FileStatus::Missing;
        return read;
    }
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        read.status = FileStatus::Unreadable;
        return read;
    }
    CoefficientParser parser;
    std::array<char, 16384> buffer{};
    while (!parser.finished()) {
        const qint64 n = file.read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (n < 0) {
            read.status = FileStatus::Unreadable;
            return read;
        }
        if (n == 0)
            parser.finish();
        else
            parser.feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    read.status = FileStatus::Read;
    read.content = parser.result();
    return read;
}

CheckedParameters checkParameters(const ParameterTexts &texts, const QString &appDir) {
    CheckedParameters checked;
    ParameterValues &values = checked.values;
    for (const TapField &f : tapFields) {
        const QString &text = texts.*f.text;
        const LongValue v = toRoundedLong(text.toStdString(), MinTapCount, MaxTapCount);
        if (v.status == NumberStatus::Ok)
            values.*f.value = v.value;
        else
            checked.problems << fieldProblem(f.label, text, v.status,
                                             QStringLiteral("%1～%2").arg(MinTapCount).arg(MaxTapCount));
    }
    for (const RealField &f : realFields) {
        const QString &text = texts.*f.text;
        const SingleValue v = toSingle(text.toStdString());
        if (v.status == NumberStatus::Ok)
            values.*f.value = v.value;
        else
            checked.problems << fieldProblem(f.label, text, v.status,
                                             QStringLiteral("単精度の範囲を超えています"));
    }
    const QString fileName = coefficientFileName(texts.dFilter);
    if (!fileName.isEmpty()) {
        const QString path = QDir(appDir).filePath(fileName);
        CoefficientFileRead read = readCoefficientFile(path);
        if (read.status == FileStatus::Read && read.content.problem == CoefficientProblem::None) {
            values.loadsDFilter = true;
            values.dCoefficients = std::move(read.content.coefficients);
        } else {
            checked.problems << fileProblem(path, read);
        }
    }
    return checked;
}

void sendParameters(CommandLink &link, const ParameterValues &values) {
    link.putLong(dspmem::CmdArg1, values.cTapSize);
    link.putLong(dspmem::CmdArg2, values.wTapSize);
    link.putSingle(dspmem::CmdArg4, values.cBeta);
    link.putSingle(dspmem::CmdArg5, values.wBeta);
    link.putSingle(dspmem::CmdArg6, values.cFreq);
    link.sendCommand(Cmd::SetParams);

    link.putSingle(dspmem::CmdArg4, values.cGain);
    link.putSingle(dspmem::CmdArg5, values.wGain);
    link.putSingle(dspmem::CmdArg6, values.dGain);
    link.sendCommand(Cmd::SetGains);

    if (!values.loadsDFilter)
        return;
    link.rewindXfer();
    for (float c : values.dCoefficients)
        link.writeNextXfer(c);
    link.putLong(dspmem::CmdArg1, static_cast<std::int32_t>(values.dCoefficients.size()));
    link.sendCommand(Cmd::LoadDFilter);
}

QString parameterErrorText(const QStringList &problems) {
    return QStringLiteral("パラメータに誤りがあるため、開始できません。\n\n") +
           problems.join(QLatin1Char('\n')) +
           QStringLiteral("\n\nパラメータ設定または係数ファイルを確認して下さい。");
}

} // namespace quiro
