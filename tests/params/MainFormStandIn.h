#pragma once
// A stand-in for the main window: the nine parameter fields and BtnParamSet, found by name as
// the real window's are, with the design-time texts. The fields are disabled, as on the window.

#include "params/FieldText.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <utility>

namespace quiro::test {

class MainFormStandIn : public QWidget {
public:
    MainFormStandIn() {
        for (const auto &[name, text] : defaults) {
            auto *edit = new QLineEdit(QString::fromUtf8(text), this);
            edit->setObjectName(QString::fromLatin1(name));
            edit->setEnabled(false);
        }
        auto *combo = new QComboBox(this);
        combo->setObjectName(QStringLiteral("ComboDFilter"));
        combo->setEditable(true);
        combo->setEditText(QStringLiteral("ﾛｰﾊﾟｽ"));
        combo->setEnabled(false);
        auto *button = new QPushButton(QStringLiteral("設定変更"), this);
        button->setObjectName(QStringLiteral("BtnParamSet"));
    }

    QString text(const char *name) const { return fieldText(*this, QString::fromLatin1(name)); }
    void setText(const char *name, const QString &text) {
        setFieldText(*this, QString::fromLatin1(name), text);
    }

    static constexpr std::pair<const char *, const char *> defaults[] = {
        {"TextCFreq", "20000"},     {"TextDGain", "1"},      {"TextCTapSize", "256"},
        {"TextCBeta", "0.000001"},  {"TextCGain", "1"},      {"TextWTapSize", "256"},
        {"TextWBeta", "0.00001"},   {"TextWGain", "1"},
    };
};

} // namespace quiro::test
