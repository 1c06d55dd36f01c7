#pragma once

#include <QDialog>
#include <QString>

class QLabel;

// CAboutDlg shows the program's icon, its version and a few words on what it
// does and where to send comments; "Subscrib" shows the subscription note.
class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // "Velmora Version a.b.c.d" from a version "a.b.c.d"; empty when the
    // version is not of that form.
    static QString VersionLine(const QString& version);

    QString m_strVersion;

    void OnSubscrib();
    QLabel& VersionLabel() { return *m_labelVersion; }

protected:
    virtual void MessageBox(const QString& text, const QString& caption, unsigned flags);

private:
    QLabel* m_labelVersion = nullptr;
};
