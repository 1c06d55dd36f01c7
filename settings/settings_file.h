#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>

// CSettingsFile is the one door to the per-user settings file (company
// "Quorvant", one INI file per application name; on Linux
// ~/.config/Quorvant/Velmora.conf). Before Qt reads it, the file is checked:
// only a regular file (or a link to one) is opened, without blocking, and
// read whole; a file Qt would read in part (an unterminated quote swallowing
// the lines after it, a line that is no setting) is damaged. A file that
// can't be trusted gives no settings, so that callers keep their defaults,
// and is never written back. A missing file is an empty one.
class CSettingsFile {
public:
    explicit CSettingsFile(const QString& application);

    // The settings to read, or nullptr when the file can't be trusted.
    QSettings* Settings() { return m_settings.get(); }

    // Why the file can't be trusted, naming it; empty when it can.
    const QString& Problem() const { return m_strProblem; }

    // Stores `value` under `key` ("Group/Key"), or removes the key when
    // `value` is invalid, and writes the file. Empty when the change reached
    // the file, else why not; a file that can't be trusted is left as it is.
    QString Write(const QString& key, const QVariant& value);

private:
    QString m_strFileName;
    QString m_strProblem;
    std::unique_ptr<QSettings> m_settings;
};
