#pragma once
// The parameter dialog: the one place where the operator edits the nine parameter texts. It
// edits a copy of the parameter set: opening shows the texts it was given, "OK" accepts unless a
// field is empty, "ｷｬﾝｾﾙ" (or closing the window) drops the edits. Nothing is sent to the DSP
// program from here; the next run's download sends the texts.

#include "params/Parameters.h"
#include "window/FieldText.h"

#include <QDialog>
#include <QObject>

#include <memory>

class QKeyEvent;
class QPushButton;
class QShowEvent;

namespace quiro {

class DlgParameter : public QDialog {
    Q_OBJECT
public:
    DlgParameter();
    ~DlgParameter() override;

    // The texts the next opening shows; after "OK", the texts as edited.
    void setTexts(const ParameterTexts &texts) { texts_ = texts; }
    const ParameterTexts &texts() const { return texts_; }

    // Each time the dialog is shown: shows the texts it was given and takes the snapshot.
    void Form_Activate();
    void OKButton_Click();
    void CancelButton_Click();

    // Closing through the window frame acts as "ｷｬﾝｾﾙ".
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    // Enter and Escape are bound to no button.
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::unique_ptr<ParameterFields> fields_;
    QPushButton *okButton_ = nullptr;
    ParameterTexts texts_;
    ParameterTexts savedTexts_;
};

// The main window's "設定変更" button: creates the dialog at the first press, keeps it for the
// rest of the program, and shows it modally at every press with a copy of the parameter set,
// which "OK" makes the parameter set.
class ParameterSetting {
public:
    explicit ParameterSetting(Parameters &parameters);
    ~ParameterSetting();

    void BtnParamSet_Click();
    // The dialog instance, or null before the first press.
    DlgParameter *dialog() const { return dialog_.get(); }

private:
    Parameters &parameters_;
    std::unique_ptr<DlgParameter> dialog_;
};

} // namespace quiro
