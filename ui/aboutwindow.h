#pragma once

#include <memory>

#include <QDialog>
#include <QString>

class QLabel;

namespace Ui {
class fmAboutDlg;
}

namespace tvl::ui {

// The About window: the product line, the version read from the program file's own
// version record at every showing, the maker's notice and two links, the maker's site and
// mail address, opened with the desktop's default handler.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);
    ~AboutWindow() override;

    // Places the window centred on the main window and shows it modally.
    int openCentredOn(const QWidget* main);

    // The program file the version is read from; the running program's by default.
    void setProgramFile(const QString& path) { m_programFile = path; }

    // The mouse on a link highlights it; on the panel both links go back to plain text.
    void lbSiteMouseMove();
    void lbMailMouseMove();
    void Panel1MouseMove();
    void lbSiteClick();
    void lbMailClick();

    QString site() const { return m_site; }
    // The link without a site of the packager's: the README the build puts beside the
    // program, or in the installed layout (no README there) the shipped help page.
    static QString localSite(const QString& programDir);
    QString mail() const { return m_mail; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // FormShow: the version line from the program file's record.
    void FormShow();
    void setLinkHighlight(QLabel* link, bool on);

    std::unique_ptr<Ui::fmAboutDlg> m_ui;
    QString m_programFile;
    QString m_site;
    QString m_mail;
};

}  // namespace tvl::ui
