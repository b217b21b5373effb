#include "window/DlgParameter.h"

#include "window/FieldText.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <vector>

namespace quiro {

namespace {

enum class Kind { Label, Frame, Text, Combo, Button };

// One control of the dialog. Places are in twips (15 to a pixel), relative to the dialog or to
// the enclosing frame.
struct ControlSpec {
    const char *name;
    Kind kind;
    const char *container; // null: the dialog itself
    const char16_t *caption;
    int left, top, width, height;
    int tabIndex;
};

// clang-format off
constexpr ControlSpec controls[] = {
    {"Label3",       Kind::Label,  nullptr,  u"パラメータ設定",     720,  120, 3135,  495,  3},
    {"Frame4",       Kind::Frame,  nullptr,  u"共通",               480,  720, 3735,  855, 27},
    {"Label1",       Kind::Label,  "Frame4", u"ｻﾝﾌﾟﾘﾝｸﾞ周波数",     480,  360, 1335,  255, 28},
    {"TextCFreq",    Kind::Text,   "Frame4", u"",                  1800,  360,  975,  270, 29},
    {"Label2",       Kind::Label,  "Frame4", u"Hz",                2880,  360,  375,  255, 30},
    {"Frame3",       Kind::Frame,  nullptr,  u"加振信号フィルター", 480, 1680, 3735,  975, 21},
    {"Label14",      Kind::Label,  "Frame3", u"ﾌｨﾙﾀｰの種類",        480,  240, 1095,  255, 22},
    {"ComboDFilter", Kind::Combo,  "Frame3", u"ﾛｰﾊﾟｽ",             1800,  240, 1335,  300, 23},
    {"Label15",      Kind::Label,  "Frame3", u"ﾌｨﾙﾀｰｹﾞｲﾝ",          480,  600, 1215,  255, 24},
    {"TextDGain",    Kind::Text,   "Frame3", u"",                  1800,  600,  975,  270, 25},
    {"Label16",      Kind::Label,  "Frame3", u"倍",                2880,  600,  255,  255, 26},
    {"Frame1",       Kind::Frame,  nullptr,  u"同定系フィルター",   480, 2880, 3735, 1575,  1},
    {"Label4",       Kind::Label,  "Frame1", u"タップ数",           600,  360, 1215,  255,  4},
    {"TextCTapSize", Kind::Text,   "Frame1", u"",                  1800,  360,  975,  270,  5},
    {"Label6",       Kind::Label,  "Frame1", u"点",                2880,  360,  255,  255,  6},
    {"Label8",       Kind::Label,  "Frame1", u"ｽﾃｯﾌﾟｻｲｽﾞβ",         600,  720, 1215,  255,  7},
    {"TextCBeta",    Kind::Text,   "Frame1", u"",                  1800,  720,  975,  270,  8},
    {"Label9",       Kind::Label,  "Frame1", u"ﾌｨﾙﾀｰｹﾞｲﾝ",          600, 1080, 1215,  255,  9},
    {"TextCGain",    Kind::Text,   "Frame1", u"",                  1800, 1080,  975,  270, 10},
    {"Label10",      Kind::Label,  "Frame1", u"倍",                2880, 1080,  255,  255, 11},
    {"Frame2",       Kind::Frame,  nullptr,  u"消音系フィルター",   480, 4560, 3735, 1575, 12},
    {"Label5",       Kind::Label,  "Frame2", u"タップ数",           600,  360,  975,  255, 14},
    {"TextWTapSize", Kind::Text,   "Frame2", u"",                  1800,  360,  975,  270, 13},
    {"Label7",       Kind::Label,  "Frame2", u"点",                2880,  360,  255,  255, 15},
    {"Label11",      Kind::Label,  "Frame2", u"ｽﾃｯﾌﾟｻｲｽﾞβ",         600,  720, 1215,  255, 16},
    {"TextWBeta",    Kind::Text,   "Frame2", u"",                  1800,  720,  975,  270, 17},
    {"Label12",      Kind::Label,  "Frame2", u"ﾌｨﾙﾀｰｹﾞｲﾝ",          600, 1080, 1215,  255, 18},
    {"TextWGain",    Kind::Text,   "Frame2", u"",                  1800, 1080,  975,  270, 19},
    {"Label13",      Kind::Label,  "Frame2", u"倍",                2880, 1080,  375,  255, 20},
    {"CancelButton", Kind::Button, nullptr,  u"ｷｬﾝｾﾙ",              480, 6360, 1215,  375,  2},
    {"OKButton",     Kind::Button, nullptr,  u"OK",                3000, 6360, 1215,  375,  0},
};
// clang-format on

constexpr int TwipsPerPixel = 15;
constexpr int ClientWidth = 4680 / TwipsPerPixel;
constexpr int ClientHeight = 7020 / TwipsPerPixel;
const QString FormFace = QStringLiteral("ＭＳ Ｐゴシック");

QWidget *makeControl(const ControlSpec &row, QWidget *parent) {
    const QString caption = QString::fromUtf16(row.caption);
    QWidget *w = nullptr;
    switch (row.kind) {
    case Kind::Label:
        w = new QLabel(caption, parent);
        break;
    case Kind::Frame:
        w = new QGroupBox(caption, parent);
        break;
    case Kind::Text: {
        auto *edit = new QLineEdit(caption, parent);
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        w = edit;
        break;
    }
    case Kind::Combo: {
        // An editable text with an empty list: nothing is ever added to it, not even on Enter.
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setEditText(caption);
        w = combo;
        break;
    }
    case Kind::Button: {
        auto *button = new QPushButton(caption, parent);
        // Inside a dialog a push button would otherwise take Enter while it has the focus.
        button->setAutoDefault(false);
        button->setDefault(false);
        w = button;
        break;
    }
    }
    w->setObjectName(QString::fromLatin1(row.name));
    w->setGeometry(row.left / TwipsPerPixel, row.top / TwipsPerPixel,
                   row.width / TwipsPerPixel, row.height / TwipsPerPixel);
    return w;
}

bool takesFocus(Kind kind) { return kind == Kind::Text || kind == Kind::Combo || kind == Kind::Button; }

} // namespace

DlgParameter::DlgParameter()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("DlgParameter"));
    setWindowTitle(QStringLiteral("パラメータ設定"));
    setFont(QFont(FormFace, 9));
    setFixedSize(ClientWidth, ClientHeight);

    std::vector<const ControlSpec *> focusOrder;
    for (const ControlSpec &row : controls) {
        QWidget *parent = this;
        if (row.container)
            parent = findChild<QWidget *>(QString::fromLatin1(row.container));
        makeControl(row, parent);
        if (takesFocus(row.kind))
            focusOrder.push_back(&row);
    }
    auto *title = findChild<QLabel *>(QStringLiteral("Label3"));
    QFont titleFont(FormFace);
    titleFont.setPointSizeF(14.25);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);

    std::sort(focusOrder.begin(), focusOrder.end(),
              [](const ControlSpec *a, const ControlSpec *b) { return a->tabIndex < b->tabIndex; });
    for (std::size_t i = 1; i < focusOrder.size(); ++i)
        setTabOrder(findChild<QWidget *>(QString::fromLatin1(focusOrder[i - 1]->name)),
                    findChild<QWidget *>(QString::fromLatin1(focusOrder[i]->name)));

    connect(findChild<QPushButton *>(QStringLiteral("OKButton")), &QPushButton::clicked, this,
            &DlgParameter::OKButton_Click);
    connect(findChild<QPushButton *>(QStringLiteral("CancelButton")), &QPushButton::clicked, this,
            &DlgParameter::CancelButton_Click);
}

void DlgParameter::Form_Activate() {
    showTexts(*this, texts_);
    savedTexts_ = texts_;
}

void DlgParameter::OKButton_Click() {
    // Every empty field takes the focus in turn, so it ends on the last one in test order.
    bool anyEmpty = false;
    for (const ParameterField &f : parameterFields) {
        const QString field = QString::fromLatin1(f.objectName);
        if (fieldText(*this, field).isEmpty()) {
            anyEmpty = true;
            findChild<QWidget *>(field)->setFocus();
        }
    }
    if (anyEmpty)
        return; // stays open, without a message
    texts_ = textsOf(*this);
    accept();
}

void DlgParameter::CancelButton_Click() {
    showTexts(*this, savedTexts_);
    QDialog::done(Rejected);
}

void DlgParameter::reject() { CancelButton_Click(); }

void DlgParameter::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // the window system re-showing it (e.g. after minimising): not a new opening
    Form_Activate();
    findChild<QPushButton *>(QStringLiteral("OKButton"))->setFocus();
}

void DlgParameter::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Enter:
    case Qt::Key_Return:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

ParameterSetting::ParameterSetting(Parameters &parameters) : parameters_(parameters) {}

ParameterSetting::~ParameterSetting() = default;

void ParameterSetting::BtnParamSet_Click() {
    if (!dialog_)
        dialog_ = std::make_unique<DlgParameter>();
    dialog_->setTexts(parameters_.texts());
    if (dialog_->exec() == QDialog::Accepted)
        parameters_.setTexts(dialog_->texts());
}

} // namespace quiro
