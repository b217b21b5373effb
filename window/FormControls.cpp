#include "window/FormControls.h"

#include "display/PictureBox.h"
#include "window/Fonts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quiro {

namespace {

Qt::Alignment alignmentOf(TextAlign align) {
    switch (align) {
    case TextAlign::Centre:
        return Qt::AlignHCenter;
    case TextAlign::Right:
        return Qt::AlignRight;
    case TextAlign::Left:
        break;
    }
    return Qt::AlignLeft;
}

QWidget *createControl(const ControlSpec &row, QWidget *parent, CaptionPlacement captions) {
    switch (row.kind) {
    case ControlKind::Button: {
        auto *button = new QPushButton(row.text, parent);
        // Inside a dialog a push button would otherwise take Enter while it has the focus.
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    }
    case ControlKind::Label: {
        auto *label = new QLabel(row.text, parent);
        label->setAlignment(alignmentOf(row.align) |
                            (captions == CaptionPlacement::Top ? Qt::AlignTop : Qt::AlignVCenter));
        return label;
    }
    case ControlKind::TextBox: {
        auto *edit = new QLineEdit(row.text, parent);
        edit->setAlignment(alignmentOf(row.align) | Qt::AlignVCenter);
        return edit;
    }
    case ControlKind::Combo: {
        // An editable text with an empty list: nothing is ever added to it, not even on Enter.
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setEditText(row.text);
        return combo;
    }
    case ControlKind::Frame:
        return new QGroupBox(row.text, parent);
    case ControlKind::Picture:
        return new PictureBox(parent);
    }
    return nullptr;
}

} // namespace

FormControls::FormControls(QWidget &form, std::span<const ControlSpec> rows,
                           CaptionPlacement captions) {
    for (const ControlSpec &row : rows) {
        const QString container = QString::fromLatin1(row.container);
        QWidget *parent = container.isEmpty() ? &form : controls_.value(container);
        if (!parent)
            throw std::logic_error(std::string("no frame named ") + row.container +
                                   " before the controls inside it");
        QWidget *widget = createControl(row, parent, captions);
        const QString name = QString::fromLatin1(row.name);
        widget->setObjectName(name);
        widget->setGeometry(pixelsOf(row.twips));
        // Set even for the form's own font, which a frame's font would otherwise override.
        widget->setFont(controlFont(row.font));
        widget->setEnabled(row.enabled);
        controls_.insert(name, widget);
    }
}

} // namespace quiro
