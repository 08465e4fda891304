#include "aboutwindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

#include "captionreader.h"
#include "core/versionrecord.h"
#include "named.h"
#include "placement.h"

// The maker's notice, site and mail address come from the build (TVL_MAKER_* in the
// top-level CMakeLists.txt), so a packager sets them in one place.
#ifndef TVL_MAKER_NOTICE
#define TVL_MAKER_NOTICE ""
#endif
#ifndef TVL_MAKER_SITE
#define TVL_MAKER_SITE ""
#endif
#ifndef TVL_MAKER_MAIL
#define TVL_MAKER_MAIL ""
#endif

namespace tvl::ui {

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_programFile(QStringLiteral("/proc/self/exe")),
      m_site(QString::fromUtf8(TVL_MAKER_SITE)),
      m_mail(QString::fromUtf8(TVL_MAKER_MAIL)) {
    setObjectName(QStringLiteral("fmAboutDlg"));
    if (m_site.isEmpty()) {
        m_site = localSite(QCoreApplication::applicationDirPath());
    }
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(416, 294);
    setModal(true);

    m_bbOk = named(new QPushButton(QStringLiteral("OK"), this), "bbOk");
    m_bbOk->setGeometry(306, 249, 76, 29);
    m_bbOk->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    m_bbOk->setDefault(true);
    m_bbOk->setAutoDefault(true);
    connect(m_bbOk, &QPushButton::clicked, this, &QDialog::accept);

    m_panel1 = named(new QFrame(this), "Panel1");
    m_panel1->setGeometry(22, 20, 366, 208);
    m_panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel1->setLineWidth(2);
    m_panel1->setMouseTracking(true);
    m_panel1->installEventFilter(this);

    auto* image = named(new QLabel(m_panel1), "Image1");
    image->setGeometry(16, 16, 41, 41);
    image->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(41, 41));

    auto* product = named(new QLabel(QStringLiteral("Tarvel Utility"), m_panel1), "Label1");
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPixelSize(18);
    product->setFont(bold);
    product->setGeometry(72, 24, 280, 28);

    auto* notice = named(new QLabel(QString::fromUtf8(TVL_MAKER_NOTICE), m_panel1), "Label2");
    notice->setWordWrap(true);
    notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    notice->setGeometry(16, 70, 334, 56);

    m_lbSite = named(new QLabel(m_site, m_panel1), "lbSite");
    m_lbSite->setGeometry(16, 132, 334, 18);
    m_lbMail = named(new QLabel(m_mail, m_panel1), "lbMail");
    m_lbMail->setGeometry(16, 154, 334, 18);
    m_lbVer = named(new QLabel(m_panel1), "lbVer");
    m_lbVer->setGeometry(16, 178, 334, 18);

    for (QLabel* link : {m_lbSite, m_lbMail}) {
        link->setProperty(kKeepsItsText, true);
        link->setMouseTracking(true);
        link->installEventFilter(this);
    }
    // Every part of the panel, the links too, keeps the mouse to itself (a label passes a
    // move on to its parent): only the bare panel turns the links back to plain text.
    for (QWidget* part : {static_cast<QWidget*>(image), static_cast<QWidget*>(product),
                          static_cast<QWidget*>(notice), static_cast<QWidget*>(m_lbVer),
                          static_cast<QWidget*>(m_lbSite), static_cast<QWidget*>(m_lbMail)}) {
        part->setAttribute(Qt::WA_NoMousePropagation);
    }
}

QString AboutWindow::localSite(const QString& programDir) {
    const QDir dir(programDir);
    const QString readme = dir.absoluteFilePath(QStringLiteral("README.md"));
    const QString helpPage =
        QDir::cleanPath(dir.absoluteFilePath(QStringLiteral("../share/tarvel/English.htm")));
    const QString page =
        QFileInfo::exists(readme) || !QFileInfo::exists(helpPage) ? readme : helpPage;
    return QUrl::fromLocalFile(page).toString();
}

int AboutWindow::openCentredOn(const QWidget* main) {
    if (main != nullptr) {
        centreOn(*this, *main);
    }
    return exec();
}

void AboutWindow::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void AboutWindow::FormShow() {
    // A program file without the record leaves the line as it was.
    if (const auto version = readVersionRecord(m_programFile.toStdString())) {
        m_lbVer->setText(QString::fromStdString(versionLine(*version)));
    }
}

void AboutWindow::keyPressEvent(QKeyEvent* event) {
    // OK is both the default and the cancel button: Esc closes with OK as Enter does.
    if (event->key() == Qt::Key_Escape) {
        m_bbOk->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (watched == m_lbSite) {
            lbSiteMouseMove();
        } else if (watched == m_lbMail) {
            lbMailMouseMove();
        } else if (watched == m_panel1) {
            Panel1MouseMove();
        }
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == m_lbSite) {
            lbSiteClick();
            return true;
        }
        if (watched == m_lbMail) {
            lbMailClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AboutWindow::setLinkHighlight(QLabel* link, bool on) {
    QFont font = link->font();
    font.setUnderline(on);
    link->setFont(font);
    QPalette palette = link->palette();
    palette.setColor(QPalette::WindowText,
                     on ? QColor(0, 0, 255) : QApplication::palette().color(QPalette::WindowText));
    link->setPalette(palette);
    if (on) {
        link->setCursor(Qt::PointingHandCursor);
    } else {
        link->unsetCursor();
    }
}

void AboutWindow::lbSiteMouseMove() {
    setLinkHighlight(m_lbSite, true);
}

void AboutWindow::lbMailMouseMove() {
    setLinkHighlight(m_lbMail, true);
}

void AboutWindow::Panel1MouseMove() {
    setLinkHighlight(m_lbSite, false);
    setLinkHighlight(m_lbMail, false);
}

void AboutWindow::lbSiteClick() {
    // What the desktop does with it is not examined, as with the help page.
    QDesktopServices::openUrl(QUrl(m_site));
}

void AboutWindow::lbMailClick() {
    if (!m_mail.isEmpty()) {
        QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + m_mail));
    }
}

}  // namespace tvl::ui
