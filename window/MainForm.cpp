#include "window/MainForm.h"

#include "window/FieldText.h"
#include "window/Fonts.h"
#include "window/Inventory.h"
#include "display/PictureBox.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <stdexcept>
#include <string>

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

template <class T> T *required(const MainForm &form, const char *name) {
    if (T *control = form.control<T>(QString::fromLatin1(name)))
        return control;
    throw std::logic_error(std::string("the main window has no control named ") + name);
}

Qt::Alignment alignmentOf(TextAlign align) {
    switch (align) {
    case TextAlign::Centre: return Qt::AlignHCenter;
    case TextAlign::Right: return Qt::AlignRight;
    case TextAlign::Left: break;
    }
    return Qt::AlignLeft;
}

QWidget *createControl(const ControlSpec &row, QWidget *parent) {
    switch (row.kind) {
    case ControlKind::Button: return new QPushButton(row.text, parent);
    case ControlKind::Label: {
        // Captions stand at the top of their box, as laid out.
        auto *label = new QLabel(row.text, parent);
        label->setAlignment(alignmentOf(row.align) | Qt::AlignTop);
        return label;
    }
    case ControlKind::TextBox: {
        auto *edit = new QLineEdit(row.text, parent);
        edit->setAlignment(alignmentOf(row.align) | Qt::AlignVCenter);
        return edit;
    }
    case ControlKind::Combo: {
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setEditText(row.text);
        return combo;
    }
    case ControlKind::Frame: return new QGroupBox(row.text, parent);
    case ControlKind::Picture: return new PictureBox(parent);
    }
    return nullptr;
}

} // namespace

MainForm::MainForm(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("QUIRO DEMO"));
    setFont(controlFont(ControlFont::Window));
    setFixedSize(ClientWidth, ClientHeight);
    build();

    timerDispInterval_.setObjectName(QStringLiteral("TimerDispInterval"));
    timerDispInterval_.setParent(this);
    timerDispInterval_.setInterval(100);

    for (const ButtonName &b : buttonNames)
        buttons_[static_cast<std::size_t>(b.button)] = required<QPushButton>(*this, b.name);
    for (std::size_t i = 0; i < ButtonCount; ++i)
        if (!buttons_[i])
            throw std::logic_error("a button the activities switch has no name on the main window");
    for (const PlotControls &row : PlotTable)
        plotWidgets_[plotIndex(row.plot)] = {
            required<PictureBox>(*this, row.picture), required<QLabel>(*this, row.topLabel),
            required<QLabel>(*this, row.bottomLabel), required<QPushButton>(*this, row.zoomIn),
            required<QPushButton>(*this, row.zoomOut)};
    textMode_ = required<QLineEdit>(*this, "TextMode");
    requireParameterFields(*this);
    connect(required<QPushButton>(*this, "BtnExit"), &QPushButton::clicked, this,
            &MainForm::runExitRoutine);
}

void MainForm::build() {
    for (const ControlSpec &row : inventory()) {
        const QString container = QString::fromLatin1(row.container);
        QWidget *parent = container.isEmpty() ? this : controls_.value(container);
        Q_ASSERT(parent); // frames come before the controls inside them
        QWidget *widget = createControl(row, parent);
        const QString name = QString::fromLatin1(row.name);
        widget->setObjectName(name);
        widget->setGeometry(pixelsOf(row.twips));
        // Set even for the window's own font, which a frame's font would otherwise override.
        widget->setFont(controlFont(row.font));
        widget->setEnabled(row.enabled);
        controls_.insert(name, widget);
    }
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
