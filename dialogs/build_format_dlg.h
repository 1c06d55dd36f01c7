#pragma once

#include "list_ctrl_ex.h"

#include <QDateTime>
#include <QDialog>

#include <string>

class QLineEdit;

// CBuildFormatDlg helps compose a file name format: the format in an edit,
// a live sample name for the current time, and the list of codes, any of
// which a double-click appends. OK refuses an empty format.
class CBuildFormatDlg : public QDialog {
public:
    explicit CBuildFormatDlg(QWidget* parent = nullptr);

    // Set before exec(), read after it returned Accepted.
    std::string m_strFormat;
    std::string m_strSample;

    // Shows m_strFormat and its sample; call after setting the format.
    int exec() override;

    void UpdateData(bool saveAndValidate);
    void UpdateSample();
    void OnChangeFormat();
    void OnDblclkCodes(const QModelIndex& index);
    void OnOK();

    CListCtrlEx& List() { return *m_list; }
    QLineEdit& FormatField() { return *m_editFormat; }
    QLineEdit& SampleField() { return *m_editSample; }

protected:
    // Enter or Space on a code appends it, as a double-click does, instead
    // of pressing OK.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The moment the sample is made for; the clock, overridable for tests.
    virtual QDateTime CurrentTime() const;
    virtual void MessageBox(const QString& text, const QString& caption, unsigned flags);

private:
    void OnInitDialog();

    CListCtrlEx* m_list = nullptr;
    QLineEdit* m_editFormat = nullptr;
    QLineEdit* m_editSample = nullptr;
};
