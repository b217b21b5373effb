// The parameter dialog, opened through the main window's button as the operator meets it: it
// edits a copy of the parameter set, which "OK" makes the parameter set.

#include "QtApplication.h"
#include "window/DlgParameter.h"
#include "window/FieldText.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace quiro {
namespace {

using Edits = std::vector<std::pair<const char *, const char16_t *>>;

// A field's text, and setting it, by the field's name.
QString fieldText(const QWidget &d, const QString &name) {
    if (const auto *edit = d.findChild<QLineEdit *>(name))
        return edit->text();
    return d.findChild<QComboBox *>(name)->currentText();
}
void setFieldText(QWidget &d, const QString &name, const QString &text) {
    if (auto *edit = d.findChild<QLineEdit *>(name))
        edit->setText(text);
    else
        d.findChild<QComboBox *>(name)->setEditText(text);
}

// The focused field's name; the combo box's own line edit holds the focus for it.
QString focused(DlgParameter &d) {
    QWidget *w = d.focusWidget();
    if (w && qobject_cast<QComboBox *>(w->parentWidget()))
        w = w->parentWidget();
    return w ? w->objectName() : QString();
}

struct Dialog : test::UsesQt, ::testing::Test {
    Parameters parameters;
    ParameterSetting setting{parameters};
    // The parameter set's texts by field name.
    std::map<QString, QString> texts() const {
        std::map<QString, QString> out;
        for (const ParameterField &f : parameterFields)
            out[QString::fromLatin1(f.objectName)] = parameters.texts().*f.text;
        return out;
    }
    bool stayedOpen = false;
    bool sawMessageBox = false;

    // Presses BtnParamSet and runs `whileOpen` inside the modal dialog. A dialog still shown
    // afterwards sets stayedOpen and is closed behind the test's back.
    void open(const std::function<void(DlgParameter &)> &whileOpen) {
        QTimer::singleShot(0, [&] {
            whileOpen(*setting.dialog());
            for (QWidget *w : QApplication::topLevelWidgets())
                sawMessageBox |= qobject_cast<QMessageBox *>(w) && w->isVisible();
            stayedOpen = setting.dialog()->isVisible();
            if (stayedOpen)
                setting.dialog()->QDialog::done(QDialog::Rejected);
        });
        setting.BtnParamSet_Click();
    }
    void setMainTexts(const QString &suffix) {
        ParameterTexts t;
        for (const ParameterField &f : parameterFields)
            t.*f.text = QString::fromLatin1(f.objectName) + suffix;
        parameters.setTexts(t);
    }
};

// Every opening shows the main window's texts, with the focus on OK; Enter and Escape do nothing;
// OK writes them back, ｷｬﾝｾﾙ and the frame's close box drop the edits. One instance, without an
// owner, is kept.
TEST_F(Dialog, OpensOnTheMainTextsIgnoresEnterAndEscapeAndCancelDropsTheEdits) {
    EXPECT_EQ(setting.dialog(), nullptr);
    DlgParameter *first = nullptr;
    const struct { const char *way, *button; bool edit; } ways[] = {
        {"ｷｬﾝｾﾙ", "CancelButton", true}, {"close box", nullptr, true}, {"OK", "OKButton", false}};
    for (const auto &[way, button, edit] : ways) {
        setMainTexts(way);
        const auto before = texts();
        open([&](DlgParameter &d) {
            if (!first)
                first = &d;
            EXPECT_EQ(&d, first);
            EXPECT_EQ(d.parent(), nullptr);
            EXPECT_EQ(focused(d), QStringLiteral("OKButton"));
            QStringList chain; // the tab order, from OK round
            for (QWidget *w = d.findChild<QWidget *>("OKButton"); chain.size() < 11;
                 w = w->nextInFocusChain())
                if (w->focusPolicy() != Qt::NoFocus && !qobject_cast<QComboBox *>(w->parentWidget()))
                    chain << w->objectName();
            EXPECT_EQ(chain, QStringList({"OKButton", "CancelButton", "TextCTapSize", "TextCBeta",
                                          "TextCGain", "TextWTapSize", "TextWBeta", "TextWGain",
                                          "ComboDFilter", "TextDGain", "TextCFreq"}));
            for (const ParameterField &f : parameterFields) {
                const QString name = QString::fromLatin1(f.objectName);
                EXPECT_EQ(fieldText(d, name), name + way);
                if (edit)
                    setFieldText(d, name, QStringLiteral("edited"));
            }
            // Enter and Escape do nothing, wherever the focus is.
            for (const char *target : {"OKButton", "CancelButton", "TextCBeta", "ComboDFilter"})
                for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
                    QWidget *w = d.findChild<QWidget *>(QString::fromLatin1(target));
                    w->setFocus();
                    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                    QApplication::sendEvent(w, &press);
                    EXPECT_TRUE(d.isVisible()) << target << " key " << key;
                }
            EXPECT_EQ(d.findChild<QComboBox *>()->count(), 0) << "Enter adds no list item";
            if (!edit) // OK must write the dialog's copies back over whatever the window shows
                setMainTexts(QStringLiteral("meanwhile"));
            if (button)
                d.findChild<QPushButton *>(button)->click();
            else
                d.close();
        });
        EXPECT_FALSE(stayedOpen) << way;
        EXPECT_EQ(texts(), before) << way;
    }
}

// OK refuses only empty fields, with the focus on the last one and no message; any other text
// reaches the main window.
TEST_F(Dialog, OkWritesBackAnyTextUnlessAFieldIsEmpty) {
    const std::pair<Edits, const char *> cases[] = { // the edits, and the focus if it stays open
        {{{"TextCTapSize", u"512"}, {"TextCBeta", u""}, {"TextWGain", u""}}, "TextWGain"},
        {{{"TextCTapSize", u"512"}, {"TextCFreq", u""}}, "TextCFreq"},
        {{{"TextDGain", u""}, {"ComboDFilter", u""}}, "TextDGain"},
        {{{"ComboDFilter", u""}}, "ComboDFilter"},
        {{{"TextWGain", u""}, {"TextCFreq", u""}, {"TextCTapSize", u""}}, "TextWGain"},
        {{{"TextCTapSize", u" "}, {"TextCFreq", u"abc"}, {"TextWBeta", u"1,5"}}, nullptr},
        {{{"ComboDFilter", u"ﾊｲﾊﾟｽ"}}, nullptr},
    };
    for (const auto &[edits, focus] : cases) {
        auto expected = texts(); // unchanged while a field is empty
        open([&](DlgParameter &d) {
            for (const auto &[field, text] : edits)
                setFieldText(d, QString::fromLatin1(field), QString::fromUtf16(text));
            d.findChild<QPushButton *>("OKButton")->click();
            EXPECT_EQ(focused(d), focus ? focus : "OKButton"); // it moves only on a refusal
        });
        EXPECT_EQ(stayedOpen, focus != nullptr) << edits[0].first;
        if (!focus)
            for (const auto &[field, text] : edits)
                expected[QString::fromLatin1(field)] = QString::fromUtf16(text);
        EXPECT_EQ(texts(), expected) << edits[0].first;
    }
    EXPECT_FALSE(sawMessageBox);
}

} // namespace
} // namespace quiro
