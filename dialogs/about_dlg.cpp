#include "about_dlg.h"

#include "dialog_units.h"
#include "message_box.h"
#include "velmora_version.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Short enough to fit its fixed box whole.
const char* const kInformation =
    "Velmora renames photos and videos to names that include the date each was taken.\n\n"
    "Comments: velmora@quorvant.example\n\n"
    "Velmora never overwrites a file.";

const char* const kSubscription =
    "If you like this software, please consider a voluntary subscription fee of 10 dollars; "
    "it brings you free updates and news of further tools.\n"
    "Pay the fee through an online payment service to velmora@quorvant.example.\n\n"
    "Please send us your own e-mail address so that we can tell you about updates.";

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    // Template 100.
    setWindowTitle(QStringLiteral("About Velmora"));
    const CDialogUnits units(font());
    setFixedSize(units.Size(235, 95));
    auto* icon = new QLabel(this);
    icon->setGeometry(units.Rect(11, 17, 20, 20));
    // Drawn for the screen's device pixels, so that a scaled screen shows it sharp.
    icon->setPixmap(QIcon(QStringLiteral(":/velmora/velmora-256.png"))
                        .pixmap(icon->size(), devicePixelRatioF()));
    m_labelVersion = new QLabel(this);
    m_labelVersion->setTextFormat(Qt::PlainText);
    m_labelVersion->setGeometry(units.Rect(40, 10, 119, 8));
    auto* information = new QLabel(QString::fromUtf8(kInformation), this);
    information->setWordWrap(true);
    information->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    information->setGeometry(units.Rect(40, 22, 137, 66));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(units.Rect(178, 7, 50, 14));
    auto* subscribe = new QPushButton(QStringLiteral("Subscrib"), this);
    // Its text whole in any font: the button widens to the left if need be.
    QRect subscribeRect = units.Rect(192, 74, 36, 14);
    subscribeRect.setLeft(
        std::min(subscribeRect.left(), subscribeRect.right() - subscribe->sizeHint().width()));
    subscribe->setGeometry(subscribeRect);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(subscribe, &QPushButton::clicked, this, &CAboutDlg::OnSubscrib);

    m_strVersion = VersionLine(QStringLiteral(VELMORA_VERSION_STRING));
    m_labelVersion->setText(m_strVersion);
}

QString CAboutDlg::VersionLine(const QString& version) {
    static const QRegularExpression kVersion(QStringLiteral("^(\\d+)\\.(\\d+)\\.(\\d+)\\.(\\d+)$"));
    const QRegularExpressionMatch match = kVersion.match(version);
    if (!match.hasMatch())
        return QString();
    return QStringLiteral("Velmora Version %1.%2.%3.%4")
        .arg(match.captured(1), match.captured(2), match.captured(3), match.captured(4));
}

void CAboutDlg::OnSubscrib() {
    MessageBox(QString::fromUtf8(kSubscription), QStringLiteral("Subscriptions"), MB_OK);
}

void CAboutDlg::MessageBox(const QString& text, const QString& caption, unsigned flags) {
    ShowMessageBox(this, text, caption, flags);
}
