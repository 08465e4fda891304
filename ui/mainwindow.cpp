#include "mainwindow.h"

#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "application.h"
#include "backupservice.h"
#include "core/regional.h"
#include "core/schedule.h"
#include "databaselist.h"
#include "language.h"
#include "messagebox.h"
#include "schedulersettings.h"
#include "server/dblist.h"
#include "taskbook.h"
#include "taskeditor.h"
#include "textcodec.h"

namespace tvl::ui {

namespace {

template <class W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      m_options(std::move(options)),
      m_clock(m_options.clock != nullptr ? m_options.clock : &systemClock()),
      m_settings(m_options.settingsFile),
      m_language(kEnglish),
      m_autostart(m_options.autostartFile) {
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Tarvel Utility"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    m_service =
        new BackupService(*m_clock, m_messages, m_options.control,
                          SchedulerSettings::read(m_options.settingsFile).catchUpMinutes, this);
    m_editor = new TaskEditor(m_messages, this);
    m_book = new TaskBook(*m_editor, m_messages, *m_clock, this);
    setCentralWidget(m_editor);
    buildMenus();
    buildToolBar();
    buildStatusBar();
    connectParts();
    setFixedSize(sizeHint());
}

MainWindow::~MainWindow() {
    // A window destroyed without its close still keeps the language chosen.
    m_settings.store(m_language);
    // The parts use the message table and the clock, which go before the window's
    // children would.
    delete m_book;
    delete m_service;
    delete m_editor;
}

// ---------------------------------------------------------------------------------------
// Building the window

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    auto action = [this](QMenu* menu, const char* name, const char* caption,
                         const QKeySequence& shortcut = {}) {
        auto* a = named(new QAction(QString::fromUtf8(caption), this), name);
        a->setShortcut(shortcut);
        menu->addAction(a);
        return a;
    };
    auto command = [this, action](QMenu* menu, const char* name, const char* caption,
                                  const QKeySequence& shortcut, void (MainWindow::*handler)()) {
        QAction* a = action(menu, name, caption, shortcut);
        connect(a, &QAction::triggered, this,
                [this, handler] { guarded([=, this] { (this->*handler)(); }); });
        return a;
    };

    QMenu* file = named(bar->addMenu(QStringLiteral("&File")), "miFile");
    command(file, "miNew", "&New", QKeySequence(Qt::CTRL | Qt::Key_N), &MainWindow::NewClick);
    command(file, "miSave", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S), &MainWindow::SaveClick);
    file->addSeparator()->setObjectName(QStringLiteral("N1"));
    command(file, "miExit", "E&xit", QKeySequence(Qt::CTRL | Qt::Key_Q), &MainWindow::ExitClick);

    QMenu* task = named(bar->addMenu(QStringLiteral("&Task")), "miTask");
    command(task, "miRemove", "Re&move", QKeySequence(Qt::CTRL | Qt::Key_Delete),
            &MainWindow::remove);
    command(task, "miRun", "&Run", QKeySequence(Qt::CTRL | Qt::Key_F5), &MainWindow::RunClick);
    QAction* miView = action(task, "miView", "Expected backups");

    QMenu* service = named(bar->addMenu(QStringLiteral("&Service")), "miService");
    QMenu* language = named(service->addMenu(QStringLiteral("&Language")), "miLanguage");
    m_miEng = action(language, "miEng", "&English");
    m_miRus = action(language, "miRus", "&Russian");
    m_miEng->setCheckable(true);
    m_miRus->setCheckable(true);
    // The program back in the tray at every login: checked while the autostart entry exists.
    QAction* miAutostart = action(service, "miAutostart", "Start at &login");
    miAutostart->setCheckable(true);
    miAutostart->setChecked(m_autostart.isOn());
    connect(miAutostart, &QAction::triggered, this, [this, miAutostart](bool on) {
        QString why;
        if (!m_autostart.setOn(on, &why)) {
            miAutostart->setChecked(m_autostart.isOn());
            MessageBox::error(this, why);
        }
    });

    QMenu* help = named(bar->addMenu(QStringLiteral("&Help")), "miHelp");
    command(help, "miHlp", "&Help", QKeySequence(Qt::Key_F1), &MainWindow::miHlpClick);
    QAction* miAbout = action(help, "miAbout", "&About");

    // Expected backups, the language switch and About come with their own windows; until
    // then their commands are there but cannot be chosen.
    for (QAction* a : {miView, m_miEng, m_miRus, miAbout}) {
        a->setEnabled(false);
    }
}

void MainWindow::buildToolBar() {
    m_toolBar = named(addToolBar(QString()), "ToolBar1");
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setContextMenuPolicy(Qt::PreventContextMenu);

    auto button = [this](const char* name, const char* hint, QStyle::StandardPixmap icon) {
        auto* b = named(new QToolButton(m_toolBar), name);
        b->setToolTip(QString::fromUtf8(hint));
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        // Toolbar buttons leave the focus where it is, so a command can come while a field
        // is still being edited; the commands tidy the focused field for that reason.
        b->setFocusPolicy(Qt::NoFocus);
        m_toolBar->addWidget(b);
        return b;
    };
    auto command = [this, button](const char* name, const char* hint, QStyle::StandardPixmap icon,
                                  void (MainWindow::*handler)()) {
        QToolButton* b = button(name, hint, icon);
        connect(b, &QToolButton::clicked, this,
                [this, handler] { guarded([=, this] { (this->*handler)(); }); });
    };
    auto separator = [this](const char* name) {
        m_toolBar->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    command("tbNew", "New Task", QStyle::SP_FileIcon, &MainWindow::NewClick);
    command("tbSave", "Save Task", QStyle::SP_DialogSaveButton, &MainWindow::SaveClick);
    separator("ToolButton3");
    command("tbRemove", "Remove Task", QStyle::SP_TrashIcon, &MainWindow::remove);
    command("tbRun", "Run Task", QStyle::SP_MediaPlay, &MainWindow::RunClick);
    separator("ToolButton6");
    button("tbView", "Expected backups", QStyle::SP_FileDialogDetailedView)->setEnabled(false);
    separator("ToolButton8");
    button("tbAbout", "About", QStyle::SP_MessageBoxInformation)->setEnabled(false);
}

void MainWindow::buildStatusBar() {
    auto* sbDesc = named(new QStatusBar(this), "sbDesc");
    sbDesc->setSizeGripEnabled(false);
    setStatusBar(sbDesc);
    m_panel0 = named(new QLabel(sbDesc), "sbDesc0");
    m_panel1 = named(new QLabel(sbDesc), "sbDesc1");
    // Panel 0 is 300 pixels wide as laid out at 120 pixels per inch.
    m_panel0->setFixedWidth(300 * logicalDpiX() / 120);
    m_panel0->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sbDesc->addWidget(m_panel0);
    sbDesc->addWidget(m_panel1, 1);
}

void MainWindow::connectParts() {
    connect(m_editor, &TaskEditor::edited, this, [this] {
        m_book->markPending();
        Enter();
    });
    connect(m_editor, &TaskEditor::runModeClicked, this,
            [this] { guarded([this] { rgRunClick(); }); });
    connect(m_editor, &TaskEditor::taskPicked, this,
            [this] { guarded([this] { cbNameChange(); }); });
    connect(m_editor, &TaskEditor::databaseButtonClicked, this,
            [this] { guarded([this] { btDBClick(); }); });
    connect(m_editor, &TaskEditor::hintChanged, m_panel0, &QLabel::setText);
    connect(m_book, &TaskBook::taskShown, m_panel1, &QLabel::clear);
    connect(m_book, &TaskBook::conversionError, this, &MainWindow::showConversionError);
    connect(m_service, &BackupService::statusChanged, m_panel1, &QLabel::setText);
    connect(m_service, &BackupService::minuteDue, this, &MainWindow::Timer1Timer);
    connect(m_service, &BackupService::schedulerNotice, this, [this](const QString& text) {
        m_panel0->setText(text);
        emit schedulerNotice(text);
    });
}

QAction* MainWindow::menuAction(const char* name) const {
    return findChild<QAction*>(QString::fromLatin1(name));
}

QToolButton* MainWindow::toolButton(const char* name) const {
    return m_toolBar->findChild<QToolButton*>(QString::fromLatin1(name));
}

// ---------------------------------------------------------------------------------------
// Creation and ending

bool MainWindow::FormCreate() {
    m_language = m_settings.restore(m_language);
    bool ok = loadMessageTable();
    ok = m_book->load(kTaskFileName) && ok;
    const LocalDateTime now = m_clock->localNow();
    setStartTime(QString::fromStdString(currentTimeText(now.hour, now.minute)));
    if (!m_service->activityLog().writeStart(m_messages.lookup("stwork"))) {
        MessageBox::error(this, message("freaderr") + QStringLiteral(" tvl.log"));
    }
    setInteractive(true);
    m_service->armTimer();
    m_service->tickSoon();
    return ok;
}

bool MainWindow::loadMessageTable() {
    m_messages.clear();
    bool russian = false;
    if (m_language == kRussian) {
        russian = true;
        m_miRus->setChecked(true);
    } else if (m_language == kEnglish) {
        m_miEng->setChecked(true);
    } else {
        return true;
    }
    if (!m_messages.load(russian ? kRussianTable : kEnglishTable)) {
        MessageBox::error(this, fromFileBytes(tableReadErrorText(russian)));
        return false;
    }
    return true;
}

void MainWindow::FormClose() {
    if (m_lifecycle == Lifecycle::Ended) {
        return;
    }
    const bool quiet = m_lifecycle == Lifecycle::EndingQuietly;
    m_lifecycle = Lifecycle::Ended;
    ActivityLog& log = m_service->activityLog();
    if (log.enabled() && !log.writeEnd(m_messages.lookup("endwork"))) {
        const QString text =
            QStringLiteral("Cannot write to %1").arg(QString::fromLatin1(kLogFileName));
        if (quiet) {
            std::fprintf(stderr, "tarvel: %s\n", text.toLocal8Bit().constData());
        } else {
            reportUnexpectedError(text);
        }
    }
    m_book->close();
    m_service->stopScheduling();
    m_settings.store(m_language);
}

void MainWindow::beginEnd(Lifecycle how) {
    // An end already under way only gets quieter; an ended program stays ended.
    if (m_lifecycle == Lifecycle::Running ||
        (m_lifecycle == Lifecycle::Exiting && how == Lifecycle::EndingQuietly)) {
        m_lifecycle = how;
    }
    emit endingStarted();
}

void MainWindow::ExitClick() {
    beginEnd(Lifecycle::Exiting);
    savprm();
    close();
}

void MainWindow::endWithoutQuestion() {
    beginEnd(Lifecycle::EndingQuietly);
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_lifecycle == Lifecycle::Running) {
        // The close box does not end the program: only Exit does. The window goes out of
        // the way, and the tray, a second start or the taskbar brings it back.
        event->ignore();
        minimize();
        return;
    }
    FormClose();
    event->accept();
    emit programEnded();
}

// ---------------------------------------------------------------------------------------
// Minimise, the tray and a second start

void MainWindow::minimize() {
    if (m_trayAvailable) {
        // In the tray the window has no taskbar entry; the tray icon brings it back.
        hide();
        return;
    }
    // Without a tray a hidden window could not be reached again: it stays on the taskbar.
    showMinimized();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_trayAvailable) {
        // The platform's minimise box: the window leaves the taskbar for the tray once the
        // state change is done.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) {
                hide();
                setWindowState(windowState() & ~Qt::WindowMinimized);
            }
        });
    }
}

void MainWindow::wakeUp() {
    if (isMinimized() || !isVisible()) {
        showNormal();
    }
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void MainWindow::toggleFromTray() {
    if (isVisible() && !isMinimized()) {
        minimize();
    } else {
        wakeUp();
    }
}

// ---------------------------------------------------------------------------------------
// The handlers, each handing the work to the part that does it

void MainWindow::setNewTaskDialog(NewTaskDialog* dialog) {
    m_book->setNewTaskDialog(dialog);
}

void MainWindow::cbNameChange() {
    m_book->cbNameChange();
}

void MainWindow::NewClick() {
    m_book->NewClick();
}

void MainWindow::SaveClick() {
    m_book->saveTask();
}

void MainWindow::remove() {
    m_book->remove();
}

bool MainWindow::savprm() {
    return m_book->savprm();
}

void MainWindow::rgRunClick() {
    m_editor->rgRunClick();
    m_book->markPending();
}

void MainWindow::TrimTxt(QWidget* control) {
    m_editor->TrimTxt(control);
}

void MainWindow::normPaths() {
    m_editor->normPaths();
}

bool MainWindow::checkFields() {
    return m_editor->checkFields();
}

void MainWindow::addPathEnd(QLineEdit* field) {
    m_editor->addPathEnd(field);
}

void MainWindow::ToggleDBList() {
    m_editor->ToggleDBList();
}

void MainWindow::RunClick() {
    m_editor->normPaths();
    if (!m_editor->checkFields()) {
        return;
    }
    m_service->run(m_editor->runInputs(), interactive());
}

void MainWindow::btDBClick() {
    m_editor->normPaths();
    if (m_editor->databaseListOpen()) {
        m_editor->writeDatabaseListBack();
    } else {
        openDatabaseList();
    }
}

void MainWindow::openDatabaseList() {
    m_editor->databaseList()->clear();
    const std::string paths = toFileBytes(m_editor->databasePaths());
    WalkOutcome walk;
    // A list cut short by a failed pass would drop, on closing, every directory of the
    // field that the walk did not get to: the list opens only when it is whole.
    if (!m_service->walkDatabases(toFileBytes(m_editor->serverAddress()),
                                  toFileBytes(m_editor->serverPort()), &walk)) {
        return;
    }
    // A box of the walk lets other events run; the list may have been opened meanwhile.
    if (m_editor->databaseListOpen()) {
        return;
    }
    m_editor->openDatabaseList(walk.entries, checkMarks(walk.entries, paths));
}

void MainWindow::Timer1Timer() {
    if (m_lifecycle == Lifecycle::Ended) {
        return;
    }
    m_service->tick(m_book->tasks().lines(), [this](std::size_t index) { startScheduled(index); });
}

bool MainWindow::editorInUse() const {
    return m_book->selection().editsOnScreen() || m_editor->databaseListOpen() ||
           QApplication::activeModalWidget() != nullptr;
}

void MainWindow::startScheduled(std::size_t index) {
    if (editorInUse()) {
        // Unsaved edits, an open database list or an open dialog stay as they are: the
        // backup runs from the task's stored line instead of waiting for an answer.
        m_service->runStoredLine(m_book->tasks().line(index));
        return;
    }
    m_book->show(index);
    InteractiveOff quiet(*m_service);
    RunClick();
}

void MainWindow::showConversionError(const QString& text) {
    if (m_service->inTick()) {
        // The minute timer never waits for a person; the run that follows finds the
        // editor incomplete and does nothing.
        m_service->reportQuietly(text);
        return;
    }
    MessageBox::error(this, text);
    m_panel1->clear();
}

void MainWindow::miHlpClick() {
    const QString page =
        QDir::current().absoluteFilePath(languageName(m_language) + QStringLiteral(".htm"));
    // A missing page or a missing program to open it is not reported.
    QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

// ---------------------------------------------------------------------------------------
// State and the status bar

int MainWindow::pendingIndex() const {
    return m_book->selection().pending();
}

bool MainWindow::interactive() const {
    return m_service->interactive();
}

void MainWindow::setInteractive(bool on) {
    m_service->setInteractive(on);
}

const TaskList& MainWindow::tasks() const {
    return m_book->tasks();
}

ActivityLog& MainWindow::activityLog() {
    return m_service->activityLog();
}

QString MainWindow::message(const char* key) const {
    return fromFileBytes(m_messages.lookup(key));
}

QString MainWindow::fieldHint() const {
    return m_panel0->text();
}

QString MainWindow::statusText() const {
    return m_panel1->text();
}

void MainWindow::setStatusText(const QString& text) {
    m_panel1->setText(text);
}

void MainWindow::Enter() {
    m_panel0->clear();
}

QString MainWindow::startTimeText() const {
    return m_editor->startTimeText();
}

void MainWindow::setStartTime(const QString& text) {
    m_editor->setStartTime(text);
}

}  // namespace tvl::ui
