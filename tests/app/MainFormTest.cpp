// The main window against its control inventory, and the ten group operations.

#include "AppTestSupport.h"
#include "app/Inventory.h"
#include "app/MainForm.h"
#include "display/PictureBox.h"

#include <QComboBox>
#include <QEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>
#include <vector>

namespace quiro {
namespace {

struct Window : ::testing::Test {
    static void SetUpTestSuite() { test::fontedApplication(); }
    MainForm form;

    QString textOf(const QString &name) const {
        QWidget *w = form.control(name);
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            return b->text();
        if (auto *l = qobject_cast<QLabel *>(w))
            return l->text();
        if (auto *e = qobject_cast<QLineEdit *>(w))
            return e->text();
        if (auto *c = qobject_cast<QComboBox *>(w))
            return c->currentText();
        if (auto *g = qobject_cast<QGroupBox *>(w))
            return g->title();
        return {};
    }
    std::set<QString> enabledButtons() const {
        std::set<QString> names;
        for (const QPushButton *b : form.findChildren<QPushButton *>())
            if (b->isEnabled())
                names.insert(b->objectName());
        return names;
    }
};

bool hasKind(QWidget *w, ControlKind kind) {
    switch (kind) {
    case ControlKind::Button: return qobject_cast<QPushButton *>(w);
    case ControlKind::Label: return qobject_cast<QLabel *>(w);
    case ControlKind::TextBox: return qobject_cast<QLineEdit *>(w);
    case ControlKind::Combo: {
        auto *c = qobject_cast<QComboBox *>(w);
        return c && c->isEditable() && c->count() == 0;
    }
    case ControlKind::Frame: return qobject_cast<QGroupBox *>(w);
    case ControlKind::Picture: return qobject_cast<PictureBox *>(w);
    }
    return false;
}

Qt::Alignment alignmentOf(TextAlign align) {
    return align == TextAlign::Right    ? Qt::AlignRight
           : align == TextAlign::Centre ? Qt::AlignHCenter
                                        : Qt::AlignLeft;
}

TEST_F(Window, IsTheFixedConsoleWithEveryControlOfTheInventory) {
    EXPECT_EQ(form.windowTitle(), "QUIRO DEMO");
    EXPECT_EQ(form.size(), QSize(915, 660));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());

    std::set<QString> names;
    for (const ControlSpec &spec : inventory()) {
        const QString name = QString::fromLatin1(spec.name);
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(names.insert(name).second) << "name used twice";
        QWidget *w = form.findChild<QWidget *>(name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(form.control(name), w);
        EXPECT_TRUE(hasKind(w, spec.kind));
        const QString container = spec.container[0] ? QString::fromLatin1(spec.container)
                                                    : QStringLiteral("MainForm");
        EXPECT_EQ(w->parentWidget()->objectName(), container);
        EXPECT_EQ(w->geometry(), pixelsOf(spec.twips));
        EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << "outside its container";
        EXPECT_EQ(textOf(name), spec.text);
        if (auto *label = qobject_cast<QLabel *>(w)) {
            EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, alignmentOf(spec.align));
        }
        if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            EXPECT_EQ(edit->alignment() & Qt::AlignHorizontal_Mask, alignmentOf(spec.align));
        }
        EXPECT_EQ(w->isEnabled(), spec.enabled);
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), pointSizeOf(spec.font));
        EXPECT_EQ(w->font().bold(), isBold(spec.font));
        EXPECT_EQ(QFontInfo(w->font()).family(), "IPAPGothic");
    }
    EXPECT_EQ(names.size(), 80u);
}

// Rows copied from the window's design, independently of the inventory table.
struct Expected {
    const char *name;
    const char *parent;
    QString text;
    QRect pixels;
    double points;
};

TEST_F(Window, ControlsStandWhereTheDesignPutsThem) {
    const std::vector<Expected> rows{
        {"Label1", "MainForm", "アクティブノイズキャンセラー・デモプログラム（ＫＸ）", {232, 0, 481, 33},
         15.75},
        {"Label2", "MainForm", "Ver 1.02", {440, 24, 57, 17}, 9.0},
        {"PictW", "MainForm", "", {520, 344, 313, 121}, 9.75},
        {"Label8", "MainForm", "消音系 C2", {448, 224, 73, 25}, 9.75},
        {"LblPrimMfs", "MainForm", "-1", {24, 168, 49, 17}, 9.0},
        {"LblC2Mfs", "MainForm", "-1", {464, 304, 49, 17}, 9.0},
        {"BtnCtrlTele", "MainForm", "縮小", {400, 440, 49, 25}, 9.75},
        {"BtnC2Wide", "MainForm", "拡大", {848, 264, 67, 25}, 9.75},
        {"BtnC1Ident", "MainForm", "C1同定開始", {848, 56, 67, 25}, 7.5},
        {"BtnExit", "MainForm", "終了", {848, 592, 67, 33}, 9.75},
        {"Label18", "MainForm", "適応フィルター係数", {616, 32, 137, 25}, 11.25},
        {"BtnQuiro", "Frame2", "消音開始", {16, 24, 73, 33}, 9.75},
        {"TextMode", "Frame2", "消音無し", {280, 40, 73, 18}, 9.75},
        {"BtnMode1", "Frame2", "消音ﾓｰﾄﾞ１", {104, 80, 73, 25}, 9.75},
        {"TextCFreq", "Frame1", "20000", {104, 24, 65, 18}, 9.75},
        {"TextWBeta", "Frame1", "0.00001", {176, 120, 65, 18}, 9.0},
        {"ComboDFilter", "Frame1", "ﾛｰﾊﾟｽ", {320, 72, 89, 21}, 9.75},
        {"Frame1", "MainForm", "動作パラメータ", {24, 496, 417, 145}, 9.75},
    };
    for (const Expected &e : rows) {
        SCOPED_TRACE(e.name);
        QWidget *w = form.control(e.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), e.parent);
        EXPECT_EQ(textOf(e.name), e.text);
        EXPECT_EQ(w->geometry(), e.pixels);
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), e.points);
    }
    // The bottom scale label of C2 stands 120 twips (8 pixels) higher relative to its plot.
    const int c2 = form.control("LblC2Mfs")->y() - form.control("PictC2")->y();
    const int c1 = form.control("LblC1Mfs")->y() - form.control("PictC1")->y();
    EXPECT_EQ(c1 - c2, 8);
    EXPECT_TRUE(form.control<QLabel>("Label1")->font().bold());
    EXPECT_TRUE(form.control<QLabel>("Label1")->alignment() & Qt::AlignRight);
    EXPECT_TRUE(form.control<QLabel>("LblC2Mfs")->alignment() & Qt::AlignRight);
    EXPECT_TRUE(form.control<QLabel>("Label19")->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(form.control<QLineEdit>("TextWBeta")->alignment() & Qt::AlignRight);
    // BtnMode1 ends in a full-width one, BtnMode2 and BtnMode3 in half-width digits.
    EXPECT_EQ(textOf("BtnMode1").back(), QChar(0xFF11));
    EXPECT_EQ(textOf("BtnMode2").back(), QChar('2'));
}

TEST_F(Window, AtCreationOnlyIdleButtonsAreEnabledAndTheParameterFieldsNever) {
    EXPECT_EQ(enabledButtons(), (std::set<QString>{"BtnC1Ident", "BtnC1Clear", "BtnC2Ident",
                                                   "BtnC2Clear", "BtnParamSet", "BtnExit"}));
    for (const char *name : {"TextCFreq", "TextDGain", "ComboDFilter", "TextCTapSize", "TextCBeta",
                             "TextCGain", "TextWTapSize", "TextWBeta", "TextWGain"})
        EXPECT_FALSE(form.control(name)->isEnabled()) << name;
    EXPECT_TRUE(form.control("TextMode")->isEnabled());
    EXPECT_EQ(form.C1Identified, 0);
    EXPECT_EQ(form.C2Identified, 0);
    QTimer &timer = form.timerDispInterval();
    EXPECT_EQ(timer.objectName(), "TimerDispInterval");
    EXPECT_EQ(timer.interval(), 100);
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(form.findChild<QTimer *>("TimerDispInterval"), &timer);
    // Typed look-up refuses the wrong kind.
    EXPECT_EQ(form.control<QLabel>("BtnExit"), nullptr);
    EXPECT_EQ(form.control<QPushButton>("NoSuchControl"), nullptr);
}

// Records every change of a control's Enabled property, in order.
struct EnabledLog : QObject {
    std::vector<std::pair<QString, bool>> changes;
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::EnabledChange)
            changes.emplace_back(o->objectName(), static_cast<QWidget *>(o)->isEnabled());
        return false;
    }
};

TEST_F(Window, GroupOperationsSetTheirButtonsInOrderAndNothingElse) {
    const std::vector<std::pair<Group, std::vector<QString>>> groups{
        {Group::C1, {"BtnC1Ident", "BtnC1Clear"}},
        {Group::C2, {"BtnC2Ident", "BtnC2Clear"}},
        {Group::Quiro, {"BtnQuiro", "BtnWClear"}},
        {Group::Param, {"BtnParamSet"}},
        {Group::Mode, {"BtnMode0", "BtnMode1", "BtnMode2", "BtnMode3"}},
    };
    struct GroupCase {
        bool enable;
        Group group;
        std::vector<std::pair<QString, bool>> expected; // each button from the opposite state
    };
    std::vector<GroupCase> cases;
    for (const auto &[group, buttons] : groups) {
        for (bool enable : {true, false}) {
            GroupCase c{enable, group, {}};
            for (const QString &b : buttons)
                c.expected.emplace_back(b, enable);
            cases.push_back(c);
        }
    }
    for (const GroupCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "group " << static_cast<int>(c.group) << " enable "
                                        << c.enable);
        MainForm w;
        w.C1Identified = -1; // lets EnableQuiroGroup enable
        w.C2Identified = -1;
        for (const auto &[name, on] : c.expected)
            w.control(name)->setEnabled(!on);
        std::map<QString, std::pair<bool, QString>> before;
        for (const ControlSpec &s : inventory())
            before[s.name] = {w.control(s.name)->isEnabled(), s.text};

        EnabledLog log;
        for (const ControlSpec &s : inventory())
            w.control(s.name)->installEventFilter(&log);
        c.enable ? w.enableGroup(c.group) : w.disableGroup(c.group);

        EXPECT_EQ(log.changes, c.expected);
        for (const auto &[name, on] : c.expected)
            before[name].first = on;
        for (const ControlSpec &s : inventory()) {
            EXPECT_EQ(w.control(s.name)->isEnabled(), before[s.name].first) << s.name;
            EXPECT_EQ(textOf(s.name), s.text) << s.name;
        }
        EXPECT_EQ(w.C1Identified, -1);
        EXPECT_EQ(w.C2Identified, -1);
    }
}

TEST_F(Window, QuiroGroupOpensOnlyWhenBothPathsAreIdentified) {
    struct Case {
        std::int16_t c1, c2;
        bool enabledBefore, enabledAfter;
    };
    const std::vector<Case> cases{
        {-1, 0, true, false}, {0, -1, true, false}, {0, 0, true, false},
        {1, -1, true, false}, // only -1 counts as True
        {-1, -1, false, true}, {-1, -1, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.c1 << " " << c.c2 << " " << c.enabledBefore);
        form.C1Identified = c.c1;
        form.C2Identified = c.c2;
        form.control("BtnQuiro")->setEnabled(c.enabledBefore);
        form.control("BtnWClear")->setEnabled(c.enabledBefore);
        form.enableGroup(Group::Quiro);
        EXPECT_EQ(form.control("BtnQuiro")->isEnabled(), c.enabledAfter);
        EXPECT_EQ(form.control("BtnWClear")->isEnabled(), c.enabledAfter);
        const std::set<QString> once = enabledButtons();
        form.enableGroup(Group::Quiro); // a second call changes nothing visible
        EXPECT_EQ(enabledButtons(), once);
    }
}

} // namespace
} // namespace quiro
