#pragma once
// The parameter dialog: the one place where the operator edits the nine parameter texts that the
// main window shows in its disabled fields. It works on copies: opening takes the main window's
// texts, "OK" writes them back unless a field is empty, "ｷｬﾝｾﾙ" (or closing the window) drops
// the edits. Nothing is sent to the DSP program from here; the next run's download sends the
// texts.

#include <QDialog>
#include <QObject>

#include <array>
#include <memory>

class QKeyEvent;
class QShowEvent;

namespace quiro {

class DlgParameter : public QDialog {
    Q_OBJECT
public:
    // Edits the parameter fields of `mainForm`, which must outlive the dialog.
    explicit DlgParameter(QWidget &mainForm);

    // Each time the dialog is shown: copies the main window's texts in and takes the snapshot.
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
    QWidget &mainForm_;
    std::array<QString, 9> savedTexts_; // in the order of snapshotOrder
};

// The main window's "設定変更" button: creates the dialog at the first press, keeps it for the
// rest of the program, and shows it modally at every press.
class ParameterSetting : public QObject {
    Q_OBJECT
public:
    // Connects the main window's BtnParamSet to BtnParamSet_Click.
    explicit ParameterSetting(QWidget &mainForm);
    ~ParameterSetting() override;

    void BtnParamSet_Click();
    // The dialog instance, or null before the first press.
    DlgParameter *dialog() const { return dialog_.get(); }

private:
    QWidget &mainForm_;
    std::unique_ptr<DlgParameter> dialog_;
};

} // namespace quiro
