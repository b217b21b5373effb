#include "window/MainForm.h"

#include "display/PictureBox.h"
#include "window/Fonts.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <iterator>
#include <stdexcept>

namespace quiro {

namespace {

// The object names of the buttons the activities switch.
struct ButtonName {
    Button button;
    const char *name;
};
constexpr ButtonName buttonNames[] = {
    {Button::C1Ident, "BtnC1Ident"},   {Button::C1Clear, "BtnC1Clear"},
    {Button::C1Wide, "BtnC1Wide"},     {Button::C1Tele, "BtnC1Tele"},
    {Button::C2Ident, "BtnC2Ident"},   {Button::C2Clear, "BtnC2Clear"},
    {Button::C2Wide, "BtnC2Wide"},     {Button::C2Tele, "BtnC2Tele"},
    {Button::Quiro, "BtnQuiro"},       {Button::WClear, "BtnWClear"},
    {Button::WWide, "BtnWWide"},       {Button::WTele, "BtnWTele"},
    {Button::ParamSet, "BtnParamSet"}, {Button::Mode0, "BtnMode0"},
    {Button::Mode1, "BtnMode1"},       {Button::Mode2, "BtnMode2"},
    {Button::Mode3, "BtnMode3"},
};
static_assert(std::size(buttonNames) == ButtonCount, "a name for every Button");

} // namespace

MainForm::MainForm(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("QUIRO DEMO"));
    setFont(controlFont(ControlFont::Window));
    setFixedSize(ClientWidth, ClientHeight);
    controls_ = std::make_unique<FormControls>(*this, inventory(), CaptionPlacement::Top);

    timerDispInterval_.setObjectName(QStringLiteral("TimerDispInterval"));
    timerDispInterval_.setParent(this);
    timerDispInterval_.setInterval(DisplayTick);

    const FormControls &c = *controls_;
    for (const ButtonName &b : buttonNames)
        buttons_[static_cast<std::size_t>(b.button)] = &c.required<QPushButton>(b.name);
    for (std::size_t i = 0; i < ButtonCount; ++i)
        if (!buttons_[i])
            throw std::logic_error("a button the activities switch has no name on the main window");
    for (const PlotControls &row : PlotTable)
        plotWidgets_[plotIndex(row.plot)] = {
            &c.required<PictureBox>(row.picture), &c.required<QLabel>(row.topLabel),
            &c.required<QLabel>(row.bottomLabel), &c.required<QPushButton>(row.zoomIn),
            &c.required<QPushButton>(row.zoomOut)};
    textMode_ = &c.required<QLineEdit>("TextMode");
    parameterFields_ = std::make_unique<ParameterFields>(*this);
    connect(&c.required<QPushButton>("BtnExit"), &QPushButton::clicked, this,
            &MainForm::runExitRoutine);
}

void MainForm::runExitRoutine() {
    if (exitRoutine_)
        exitRoutine_();
    else
        close();
}

// Closing the window by its close box does what BtnExit does: left to itself the process would
// go on without a window, still holding the board.
void MainForm::closeEvent(QCloseEvent *event) {
    if (exitRoutine_)
        exitRoutine_();
    event->accept();
}

} // namespace quiro
