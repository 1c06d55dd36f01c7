#include "settings_file.h"

#include "file_stream.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct CDamage {
    int nLine = 0; // 1-based; 0 when every line reads
    bool bOpenQuote = false;
};

bool IsSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || ch == '\v';
}

// Walks the lines as Qt's INI reader takes them. A line ends at its line
// break unless a quote is open: then it runs on to the next quote. Qt's
// writer never leaves a quote open across a line break, so one that is open
// there is a hand edit gone wrong that would fold the following lines into
// one value. Qt drops a line without "=" (or a section name without "]")
// when it reads the file, and so when it writes it back.
CDamage FirstDamagedLine(std::string_view text) {
    int line = 1;
    std::size_t i = 0;
    while (true) {
        for (; i < text.size() && IsSpace(text[i]); ++i)
            line += text[i] == '\n';
        if (i == text.size())
            return {};
        if (text[i] == ';') {
            while (i < text.size() && text[i] != '\n' && text[i] != '\r')
                ++i;
            continue;
        }
        const int first = line;
        const bool section = text[i] == '[';
        bool quoted = false, equals = false, bracket = false;
        for (; i < text.size() && (quoted || (text[i] != '\n' && text[i] != '\r')); ++i) {
            const char ch = text[i];
            if (ch == '\n' && quoted)
                return {first, true};
            if (ch == '\\' && i + 1 < text.size()) {
                // An escaped line break continues the line.
                if (text[++i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
                line += text[i] == '\n';
                continue;
            }
            if (ch == '"')
                quoted = !quoted;
            else if (quoted)
                continue;
            else if (ch == '=')
                equals = true;
            else if (ch == ']')
                bracket = true;
            else if (ch == ';')
                break; // the rest of the line is a comment
        }
        if (quoted)
            return {first, true};
        if (section ? !bracket : !equals)
            return {first, false};
    }
}

// The file QSettings(NativeFormat, UserScope, "Quorvant", application) uses
// on Linux, named here because that constructor reads the file at once.
QString FileName(const QString& application) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quorvant/") + application + QStringLiteral(".conf");
}

// Why the file at `name` can't be trusted, empty when it can (or is absent).
QString ProblemOf(const QString& name) {
    const QByteArray path = QFile::encodeName(name);
    const QString file = QStringLiteral("the settings file ") + name;
    struct stat status {};
    if (stat(path.constData(), &status) != 0) {
        // No file yet is no setting yet; Qt makes the file at the first write.
        return errno == ENOENT
                   ? QString()
                   : file + QStringLiteral(" could not be read (%1)").arg(strerror(errno));
    }
    if (!S_ISREG(status.st_mode))
        return file + QStringLiteral(" is not a regular file");
    CFileStream stream;
    if (!stream.Open(path.constData()))
        return file + QStringLiteral(" could not be read (%1)").arg(strerror(errno));
    std::string bytes(stream.Size(), '\0');
    if (stream.Read(bytes.data(), bytes.size()) != bytes.size() || stream.Size() != bytes.size())
        return file + QStringLiteral(" could not be read whole");
    // Qt reads past a byte-order mark (and writes the file back without one).
    std::string_view text = bytes;
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    const CDamage damage = FirstDamagedLine(text);
    if (damage.nLine == 0)
        return {};
    return file + (damage.bOpenQuote
                       ? QStringLiteral(" is damaged: line %1 opens a quote that it does not close")
                       : QStringLiteral(" is damaged: line %1 is not a setting"))
                      .arg(damage.nLine);
}

} // namespace

CSettingsFile::CSettingsFile(const QString& application)
    : m_strFileName(FileName(application)), m_strProblem(ProblemOf(m_strFileName)) {
    if (m_strProblem.isEmpty())
        m_settings = std::make_unique<QSettings>(m_strFileName, QSettings::IniFormat);
}

QString CSettingsFile::Write(const QString& key, const QVariant& value) {
    if (!m_settings)
        return m_strProblem;
    if (value.isValid())
        m_settings->setValue(key, value);
    else
        m_settings->remove(key);
    m_settings->sync();
    // Qt 6.4 calls a file that starts with a byte-order mark malformed,
    // although it reads all of it; the content was checked above, so only a
    // failed write counts.
    if (m_settings->status() == QSettings::AccessError)
        return QStringLiteral("the settings file ") + m_strFileName +
               QStringLiteral(" could not be written");
    return {};
}
