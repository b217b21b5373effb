// The parameter dialog driven through the main window's button, as the operator meets it: the
// copies it takes, "OK" with its empty-field rule, "ｷｬﾝｾﾙ", the frame's close box, the keys
// that must do nothing, its build and the one instance that is kept.

#include "MainFormStandIn.h"
#include "QtApplication.h"
#include "params/DlgParameter.h"
#include "params/FieldText.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

namespace quiro {
namespace {

constexpr const char *fieldNames[] = {"TextCFreq",    "ComboDFilter", "TextDGain",
                                      "TextCTapSize", "TextCBeta",    "TextCGain",
                                      "TextWTapSize", "TextWBeta",    "TextWGain"};

struct Dialog : test::UsesQt, ::testing::Test {
    test::MainFormStandIn form;
    ParameterSetting setting{form};
    bool stayedOpen = false;
    bool sawMessageBox = false;

    DlgParameter &dlg() { return *setting.dialog(); }

    // Presses BtnParamSet and, inside the modal dialog, runs `whileOpen`. If the dialog is still
    // shown afterwards, stayedOpen is set and the dialog is closed behind the test's back.
    void open(const std::function<void(DlgParameter &)> &whileOpen) {
        stayedOpen = false;
        bool ran = false;
        QTimer::singleShot(0, [&] {
            ran = true;
            whileOpen(dlg());
            for (QWidget *w : QApplication::topLevelWidgets())
                if (qobject_cast<QMessageBox *>(w) && w->isVisible())
                    sawMessageBox = true;
            if (dlg().isVisible()) {
                stayedOpen = true;
                dlg().QDialog::done(QDialog::Rejected);
            }
        });
        // A watchdog: a dialog that does not close fails the test instead of hanging it.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            ADD_FAILURE() << "the dialog did not close";
            dlg().QDialog::done(QDialog::Rejected);
        });
        watchdog.start(10000);
        form.findChild<QPushButton *>(QStringLiteral("BtnParamSet"))->click();
        EXPECT_TRUE(ran);
    }

    static QString text(DlgParameter &d, const char *name) {
        return fieldText(d, QString::fromLatin1(name));
    }
    static void setText(DlgParameter &d, const char *name, const QString &value) {
        setFieldText(d, QString::fromLatin1(name), value);
    }
    static QString focused(DlgParameter &d) {
        QWidget *w = d.focusWidget();
        // The combo box's own line edit holds the focus for it.
        if (w && qobject_cast<QComboBox *>(w->parentWidget()))
            w = w->parentWidget();
        return w ? w->objectName() : QString();
    }
    std::map<std::string, QString> mainTexts() const {
        std::map<std::string, QString> texts;
        for (const char *name : fieldNames)
            texts[name] = form.text(name);
        return texts;
    }
    void setMainTexts(const QString &suffix) {
        for (const char *name : fieldNames)
            form.setText(name, QString::fromLatin1(name) + suffix);
    }
};

TEST_F(Dialog, OpeningShowsTheMainTextsAndOkAtOnceWritesThemBack) {
    setMainTexts(QStringLiteral("-main"));
    const auto before = mainTexts();
    QString focus;
    bool modal = false;
    open([&](DlgParameter &d) {
        for (const char *name : fieldNames)
            EXPECT_EQ(text(d, name), QString::fromLatin1(name) + QStringLiteral("-main")) << name;
        focus = focused(d);
        modal = d.isModal();
        d.findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
    });
    EXPECT_FALSE(stayedOpen);
    EXPECT_EQ(focus, QStringLiteral("OKButton"));
    EXPECT_TRUE(modal);
    EXPECT_EQ(mainTexts(), before);
}

TEST_F(Dialog, OkWithEmptyFieldsStaysOpenWithTheFocusOnTheLastOne) {
    const struct {
        std::vector<const char *> emptied;
        const char *focus;
    } cases[] = {
        {{"TextCBeta", "TextWGain"}, "TextWGain"},
        {{"TextCFreq"}, "TextCFreq"},
        {{"TextDGain", "ComboDFilter"}, "TextDGain"},
        {{"ComboDFilter"}, "ComboDFilter"},
        {{"TextWGain", "TextCFreq", "TextCTapSize", "TextWBeta"}, "TextWGain"},
    };
    for (const auto &c : cases) {
        const auto before = mainTexts();
        QString focus;
        open([&](DlgParameter &d) {
            setText(d, "TextCTapSize", QStringLiteral("512"));
            for (const char *name : c.emptied)
                setText(d, name, QString());
            d.findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
            focus = focused(d);
        });
        EXPECT_TRUE(stayedOpen) << c.focus;
        EXPECT_EQ(focus, QString::fromLatin1(c.focus));
        EXPECT_EQ(mainTexts(), before) << "nothing copied while a field is empty";
    }
    EXPECT_FALSE(sawMessageBox);
}

TEST_F(Dialog, AnyNonEmptyTextPassesAndReachesTheMainWindow) {
    const struct {
        const char *field;
        const char16_t *text;
    } cases[] = {
        {"TextCTapSize", u" "},
        {"TextCFreq", u"abc"},
        {"ComboDFilter", u"ﾊｲﾊﾟｽ"},
        {"ComboDFilter", u"なんでも"},
        {"TextWBeta", u"1,5"},
    };
    for (const auto &c : cases) {
        open([&](DlgParameter &d) {
            setText(d, c.field, QString::fromUtf16(c.text));
            d.findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
        });
        EXPECT_FALSE(stayedOpen) << c.field;
        EXPECT_EQ(form.text(c.field), QString::fromUtf16(c.text)) << c.field;
    }
    EXPECT_FALSE(sawMessageBox);
}

TEST_F(Dialog, CancelAndTheCloseBoxDropTheEdits) {
    const std::pair<const char *, std::function<void(DlgParameter &)>> ways[] = {
        {"ｷｬﾝｾﾙ", [](DlgParameter &d) {
             d.findChild<QPushButton *>(QStringLiteral("CancelButton"))->click();
         }},
        {"close box", [](DlgParameter &d) { d.close(); }},
    };
    for (const auto &[way, dismiss] : ways) {
        setMainTexts(QStringLiteral("-kept"));
        const auto before = mainTexts();
        open([&, dismiss = dismiss](DlgParameter &d) {
            for (const char *name : fieldNames)
                setText(d, name, QStringLiteral("edited"));
            dismiss(d);
        });
        EXPECT_FALSE(stayedOpen) << way;
        EXPECT_EQ(mainTexts(), before) << way;
        open([&](DlgParameter &d) {
            for (const char *name : fieldNames)
                EXPECT_EQ(text(d, name), before.at(name)) << way << " " << name;
            d.findChild<QPushButton *>(QStringLiteral("CancelButton"))->click();
        });
    }
}

TEST_F(Dialog, EnterAndEscapeDoNothing) {
    const auto before = mainTexts();
    const char *targets[] = {"OKButton", "CancelButton", "TextCBeta", "ComboDFilter"};
    for (const char *target : targets) {
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            open([&](DlgParameter &d) {
                setText(d, "TextWGain", QStringLiteral("9"));
                QWidget *w = d.findChild<QWidget *>(QString::fromLatin1(target));
                if (auto *combo = qobject_cast<QComboBox *>(w))
                    w = combo->lineEdit();
                w->setFocus();
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
                QApplication::sendEvent(w, &press);
                QApplication::sendEvent(w, &release);
                EXPECT_EQ(d.findChild<QComboBox *>(QStringLiteral("ComboDFilter"))->count(), 0)
                    << "Enter adds nothing to the list";
            });
            EXPECT_TRUE(stayedOpen) << target << " key " << key;
            EXPECT_EQ(mainTexts(), before) << target << " key " << key;
        }
    }
}

TEST_F(Dialog, OneInstanceIsCreatedAtTheFirstPressAndKept) {
    EXPECT_EQ(setting.dialog(), nullptr);
    open([](DlgParameter &d) { d.findChild<QPushButton *>(QStringLiteral("OKButton"))->click(); });
    QPointer<DlgParameter> first = setting.dialog();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->parent(), nullptr) << "shown without an owner";
    EXPECT_FALSE(first->isVisible());
    open([](DlgParameter &d) {
        d.findChild<QPushButton *>(QStringLiteral("CancelButton"))->click();
    });
    EXPECT_EQ(setting.dialog(), first.data());
}

TEST_F(Dialog, IsBuiltFromItsInventory) {
    open([](DlgParameter &d) { d.findChild<QPushButton *>(QStringLiteral("OKButton"))->click(); });
    DlgParameter &d = dlg();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("パラメータ設定"));
    EXPECT_EQ(d.minimumSize(), QSize(312, 468));
    EXPECT_EQ(d.maximumSize(), QSize(312, 468));
    EXPECT_FALSE(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    const struct {
        const char *name;
        const char *container;
        QRect rect;
        const char16_t *caption;
    } places[] = {
        {"Label3", "DlgParameter", {48, 8, 209, 33}, u"パラメータ設定"},
        {"ComboDFilter", "Frame3", {120, 16, 89, 20}, nullptr},
        {"TextWGain", "Frame2", {120, 72, 65, 18}, nullptr},
        {"CancelButton", "DlgParameter", {32, 424, 81, 25}, u"ｷｬﾝｾﾙ"},
        {"OKButton", "DlgParameter", {200, 424, 81, 25}, u"OK"},
    };
    for (const auto &p : places) {
        QWidget *w = d.findChild<QWidget *>(QString::fromLatin1(p.name));
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(p.container)) << p.name;
        EXPECT_EQ(w->geometry(), p.rect) << p.name;
        if (!p.caption)
            continue;
        const QString caption = QString::fromUtf16(p.caption);
        QString shown;
        if (auto *label = qobject_cast<QLabel *>(w))
            shown = label->text();
        else if (auto *frame = qobject_cast<QGroupBox *>(w))
            shown = frame->title();
        else if (auto *button = qobject_cast<QPushButton *>(w))
            shown = button->text();
        EXPECT_EQ(shown, caption) << p.name;
    }
    EXPECT_EQ(d.findChildren<QLabel *>().size() + d.findChildren<QGroupBox *>().size(), 20u);
    for (QLineEdit *edit : d.findChildren<QLineEdit *>())
        if (!qobject_cast<QComboBox *>(edit->parentWidget())) {
            EXPECT_EQ(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        }
    for (QPushButton *button : d.findChildren<QPushButton *>()) {
        EXPECT_FALSE(button->isDefault());
        EXPECT_FALSE(button->autoDefault());
    }

    const QFont title = d.findChild<QLabel *>(QStringLiteral("Label3"))->font();
    EXPECT_EQ(title.family(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_DOUBLE_EQ(title.pointSizeF(), 14.25);
    EXPECT_TRUE(title.bold());

    const QStringList order = {"OKButton",  "CancelButton", "TextCTapSize", "TextCBeta",
                               "TextCGain", "TextWTapSize", "TextWBeta",    "TextWGain",
                               "ComboDFilter", "TextDGain", "TextCFreq"};
    QStringList chain;
    QWidget *w = d.findChild<QWidget *>(QStringLiteral("OKButton"));
    for (int i = 0; i < order.size(); ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus || qobject_cast<QComboBox *>(w->parentWidget()))
            w = w->nextInFocusChain();
        chain << w->objectName();
    }
    EXPECT_EQ(chain, order);
}

} // namespace
} // namespace quiro
