#include "app/MainForm.h"

#include "app/Fonts.h"
#include "app/Inventory.h"
#include "display/PictureBox.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <vector>

namespace quiro {

namespace {

struct GroupSpec {
    Group group;
    std::vector<const char *> buttons; // in the order their Enabled property is set
};

const std::array<GroupSpec, 5> &groups() {
    static const std::array<GroupSpec, 5> table{{
        {Group::C1, {"BtnC1Ident", "BtnC1Clear"}},
        {Group::C2, {"BtnC2Ident", "BtnC2Clear"}},
        {Group::Quiro, {"BtnQuiro", "BtnWClear"}},
        {Group::Param, {"BtnParamSet"}},
        {Group::Mode, {"BtnMode0", "BtnMode1", "BtnMode2", "BtnMode3"}},
    }};
    return table;
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

    connect(control<QPushButton>(QStringLiteral("BtnExit")), &QPushButton::clicked, this,
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

void MainForm::enableGroup(Group group) {
    for (const GroupSpec &g : groups()) {
        if (g.group != group)
            continue;
        if (group == Group::Quiro) {
            disableGroup(group);
            if (C1Identified != -1 || C2Identified != -1)
                return;
        }
        for (const char *name : g.buttons)
            control(QString::fromLatin1(name))->setEnabled(true);
    }
}

void MainForm::disableGroup(Group group) {
    for (const GroupSpec &g : groups()) {
        if (g.group == group) {
            for (const char *name : g.buttons)
                control(QString::fromLatin1(name))->setEnabled(false);
        }
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
