#include "aboutwindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

#include "captionreader.h"
#include "core/versionrecord.h"
#include "placement.h"
#include "ui_aboutwindow.h"

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
      m_ui(std::make_unique<Ui::fmAboutDlg>()),
      m_programFile(QStringLiteral("/proc/self/exe")),
      m_site(QString::fromUtf8(TVL_MAKER_SITE)),
      m_mail(QString::fromUtf8(TVL_MAKER_MAIL)) {
    setObjectName(QStringLiteral("fmAboutDlg"));
    m_ui->setupUi(this);
    if (m_site.isEmpty()) {
        m_site = localSite(QCoreApplication::applicationDirPath());
    }
    setFixedSize(size());

    m_ui->bbOk->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    connect(m_ui->bbOk, &QPushButton::clicked, this, &QDialog::accept);
    m_ui->Panel1->installEventFilter(this);
    m_ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(41, 41));
    QFont bold = m_ui->Label1->font();
    bold.setBold(true);
    bold.setPixelSize(18);
    m_ui->Label1->setFont(bold);
    m_ui->Label2->setText(QString::fromUtf8(TVL_MAKER_NOTICE));
    m_ui->lbSite->setText(m_site);
    m_ui->lbMail->setText(m_mail);

    for (QLabel* link : {m_ui->lbSite, m_ui->lbMail}) {
        link->setProperty(kKeepsItsText, true);
        link->installEventFilter(this);
    }
    // Every part of the panel, the links too, keeps the mouse to itself (a label passes a
    // move on to its parent): only the bare panel turns the links back to plain text.
    for (QLabel* part : m_ui->Panel1->findChildren<QLabel*>()) {
        part->setAttribute(Qt::WA_NoMousePropagation);
    }
}

AboutWindow::~AboutWindow() = default;

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
        m_ui->lbVer->setText(QString::fromStdString(versionLine(*version)));
    }
}

void AboutWindow::keyPressEvent(QKeyEvent* event) {
    // OK is both the default and the cancel button: Esc closes with OK as Enter does.
    if (event->key() == Qt::Key_Escape) {
        m_ui->bbOk->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (watched == m_ui->lbSite) {
            lbSiteMouseMove();
        } else if (watched == m_ui->lbMail) {
            lbMailMouseMove();
        } else if (watched == m_ui->Panel1) {
            Panel1MouseMove();
        }
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == m_ui->lbSite) {
            lbSiteClick();
            return true;
        }
        if (watched == m_ui->lbMail) {
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
    setLinkHighlight(m_ui->lbSite, true);
}

void AboutWindow::lbMailMouseMove() {
    setLinkHighlight(m_ui->lbMail, true);
}

void AboutWindow::Panel1MouseMove() {
    setLinkHighlight(m_ui->lbSite, false);
    setLinkHighlight(m_ui->lbMail, false);
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
