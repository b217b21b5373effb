#include "window/DlgParameter.h"

#include "window/Fonts.h"
#include "window/FormControls.h"

#include <QKeyEvent>
#include <QPushButton>

#include <iterator>
#include <vector>

namespace quiro {

namespace {

using K = ControlKind;
using F = ControlFont;
using A = TextAlign;

// Every control of the dialog, frames before the controls inside them. The text boxes start
// empty: each opening shows the parameter set's texts.
const std::vector<ControlSpec> &dialogControls() {
    // clang-format off
    static const std::vector<ControlSpec> rows{
        {"Label3", K::Label, "", "パラメータ設定", {720, 120, 3135, 495}, F::DialogTitle, A::Centre},
        {"Frame4", K::Frame, "", "共通", {480, 720, 3735, 855}, F::Window, A::Left},
        {"Label1", K::Label, "Frame4", "ｻﾝﾌﾟﾘﾝｸﾞ周波数", {480, 360, 1335, 255}, F::Window, A::Left},
        {"TextCFreq", K::TextBox, "Frame4", "", {1800, 360, 975, 270}, F::Window, A::Right},
        {"Label2", K::Label, "Frame4", "Hz", {2880, 360, 375, 255}, F::Window, A::Left},
        {"Frame3", K::Frame, "", "加振信号フィルター", {480, 1680, 3735, 975}, F::Window, A::Left},
        {"Label14", K::Label, "Frame3", "ﾌｨﾙﾀｰの種類", {480, 240, 1095, 255}, F::Window, A::Left},
        {"ComboDFilter", K::Combo, "Frame3", "ﾛｰﾊﾟｽ", {1800, 240, 1335, 300}, F::Window, A::Left},
        {"Label15", K::Label, "Frame3", "ﾌｨﾙﾀｰｹﾞｲﾝ", {480, 600, 1215, 255}, F::Window, A::Left},
        {"TextDGain", K::TextBox, "Frame3", "", {1800, 600, 975, 270}, F::Window, A::Right},
        {"Label16", K::Label, "Frame3", "倍", {2880, 600, 255, 255}, F::Window, A::Left},
        {"Frame1", K::Frame, "", "同定系フィルター", {480, 2880, 3735, 1575}, F::Window, A::Left},
        {"Label4", K::Label, "Frame1", "タップ数", {600, 360, 1215, 255}, F::Window, A::Left},
        {"TextCTapSize", K::TextBox, "Frame1", "", {1800, 360, 975, 270}, F::Window, A::Right},
        {"Label6", K::Label, "Frame1", "点", {2880, 360, 255, 255}, F::Window, A::Left},
        {"Label8", K::Label, "Frame1", "ｽﾃｯﾌﾟｻｲｽﾞβ", {600, 720, 1215, 255}, F::Window, A::Left},
        {"TextCBeta", K::TextBox, "Frame1", "", {1800, 720, 975, 270}, F::Window, A::Right},
        {"Label9", K::Label, "Frame1", "ﾌｨﾙﾀｰｹﾞｲﾝ", {600, 1080, 1215, 255}, F::Window, A::Left},
        {"TextCGain", K::TextBox, "Frame1", "", {1800, 1080, 975, 270}, F::Window, A::Right},
        {"Label10", K::Label, "Frame1", "倍", {2880, 1080, 255, 255}, F::Window, A::Left},
        {"Frame2", K::Frame, "", "消音系フィルター", {480, 4560, 3735, 1575}, F::Window, A::Left},
        {"Label5", K::Label, "Frame2", "タップ数", {600, 360, 975, 255}, F::Window, A::Left},
        {"TextWTapSize", K::TextBox, "Frame2", "", {1800, 360, 975, 270}, F::Window, A::Right},
        {"Label7", K::Label, "Frame2", "点", {2880, 360, 255, 255}, F::Window, A::Left},
        {"Label11", K::Label, "Frame2", "ｽﾃｯﾌﾟｻｲｽﾞβ", {600, 720, 1215, 255}, F::Window, A::Left},
        {"TextWBeta", K::TextBox, "Frame2", "", {1800, 720, 975, 270}, F::Window, A::Right},
        {"Label12", K::Label, "Frame2", "ﾌｨﾙﾀｰｹﾞｲﾝ", {600, 1080, 1215, 255}, F::Window, A::Left},
        {"TextWGain", K::TextBox, "Frame2", "", {1800, 1080, 975, 270}, F::Window, A::Right},
        {"Label13", K::Label, "Frame2", "倍", {2880, 1080, 375, 255}, F::Window, A::Left},
        {"CancelButton", K::Button, "", "ｷｬﾝｾﾙ", {480, 6360, 1215, 375}, F::Window, A::Centre},
        {"OKButton", K::Button, "", "OK", {3000, 6360, 1215, 375}, F::Window, A::Centre},

    };
    // clang-format on
    return rows;
}

// The controls that take the focus, in the order of their tab indexes.
constexpr const char *focusOrder[] = {
    "OKButton",  "CancelButton", "TextCTapSize", "TextCBeta", "TextCGain", "TextWTapSize",
    "TextWBeta", "TextWGain",    "ComboDFilter", "TextDGain", "TextCFreq",
};

// The client area: 4680 x 7020 twips.
constexpr QSize DialogClient{pixelsOf(4680), pixelsOf(7020)};

} // namespace

DlgParameter::DlgParameter()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("DlgParameter"));
    setWindowTitle(QStringLiteral("パラメータ設定"));
    setFont(controlFont(ControlFont::Window));
    setFixedSize(DialogClient);

    const FormControls controls(*this, dialogControls(), CaptionPlacement::Middle);
    for (std::size_t i = 1; i < std::size(focusOrder); ++i)
        setTabOrder(&controls.required<QWidget>(focusOrder[i - 1]),
                    &controls.required<QWidget>(focusOrder[i]));
    fields_ = std::make_unique<ParameterFields>(*this);
    okButton_ = &controls.required<QPushButton>("OKButton");
    connect(okButton_, &QPushButton::clicked, this, &DlgParameter::OKButton_Click);
    connect(&controls.required<QPushButton>("CancelButton"), &QPushButton::clicked, this,
            &DlgParameter::CancelButton_Click);
}

DlgParameter::~DlgParameter() = default;

void DlgParameter::Form_Activate() {
    fields_->show(texts_);
    savedTexts_ = texts_;
}

void DlgParameter::OKButton_Click() {
    // Every empty field takes the focus in turn, so it ends on the last one in test order.
    bool anyEmpty = false;
    for (const ParameterField &f : parameterFields) {
        if (fields_->text(f.text).isEmpty()) {
            anyEmpty = true;
            fields_->widget(f.text).setFocus();
        }
    }
    if (anyEmpty)
        return; // stays open, without a message
    texts_ = fields_->texts();
    accept();
}

void DlgParameter::CancelButton_Click() {
    fields_->show(savedTexts_);
    QDialog::done(Rejected);
}

void DlgParameter::reject() { CancelButton_Click(); }

void DlgParameter::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // the window system re-showing it (e.g. after minimising): not a new opening
    Form_Activate();
    okButton_->setFocus();
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
