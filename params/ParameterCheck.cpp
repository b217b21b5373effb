#include "params/ParameterCheck.h"

#include "coeffile/NumberText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <string>

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

// The numeric texts, each with its field and the name the dialog shows.
struct NumberRow {
    NumberField field;
    QString ParameterTexts::*text;
    const char16_t *label;
};
constexpr NumberRow numberRows[] = {
    {NumberField::CTapSize, &ParameterTexts::cTapSize, u"同定系フィルターのタップ数"},
    {NumberField::WTapSize, &ParameterTexts::wTapSize, u"消音系フィルターのタップ数"},
    {NumberField::CBeta, &ParameterTexts::cBeta, u"同定系フィルターのｽﾃｯﾌﾟｻｲｽﾞβ"},
    {NumberField::WBeta, &ParameterTexts::wBeta, u"消音系フィルターのｽﾃｯﾌﾟｻｲｽﾞβ"},
    {NumberField::CFreq, &ParameterTexts::cFreq, u"ｻﾝﾌﾟﾘﾝｸﾞ周波数"},
    {NumberField::CGain, &ParameterTexts::cGain, u"同定系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"},
    {NumberField::WGain, &ParameterTexts::wGain, u"消音系フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"},
    {NumberField::DGain, &ParameterTexts::dGain, u"加振信号フィルターのﾌｨﾙﾀｰｹﾞｲﾝ"},
};
static_assert(inFieldOrder(numberRows), "numberRows is indexed by NumberField");

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
    std::array<std::string, NumberFieldCount> utf8;
    std::array<std::string_view, NumberFieldCount> views;
    for (std::size_t i = 0; i < NumberFieldCount; ++i) {
        utf8[i] = (texts.*numberRows[i].text).toStdString();
        views[i] = utf8[i];
    }
    for (const NumberProblem &p : convertNumbers(views, values)) {
        const NumberRow &row = numberRows[static_cast<std::size_t>(p.field)];
        checked.problems << fieldProblem(
            row.label, texts.*row.text, p.status,
            isTapCount(p.field) ? QStringLiteral("%1～%2").arg(MinTapCount).arg(MaxTapCount)
                                : QStringLiteral("単精度の範囲を超えています"));
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

QString parameterErrorText(const QStringList &problems) {
    return QStringLiteral("パラメータに誤りがあるため、開始できません。\n\n") +
           problems.join(QLatin1Char('\n')) +
           QStringLiteral("\n\nパラメータ設定または係数ファイルを確認して下さい。");
}

} // namespace quiro
