#include "mainwindow.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPixmap>
#include <QShowEvent>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "aboutwindow.h"
#include "application.h"
#include "backupservice.h"
#include "captionreader.h"
#include "core/regional.h"
#include "core/schedule.h"
#include "core/taskline.h"
#include "databaselist.h"
#include "expectedbackupscommand.h"
#include "jobwatch.h"
#include "language.h"
#include "messagebox.h"
#include "mnemonics.h"
#include "named.h"
#include "panelbar.h"
#include "runsrow.h"
#include "server/controlloader.h"
#include "server/dblist.h"
#include "server/programsettings.h"
#include "taskbook.h"
#include "taskeditor.h"
#include "taskselector.h"
#include "textcodec.h"

namespace tvl::ui {

QIcon MainWindow::toolIcon(const Icon& icon) const {
    // The desktop theme's icon where it has one, else the one that comes with the program.
    // The disabled look is made here, grey and faint, so a command that cannot be chosen
    // looks so whichever theme or engine drew the icon.
    const QIcon source =
        QIcon::fromTheme(QString::fromLatin1(icon.themeName), style()->standardIcon(icon.fallback));
    const int extent = style()->pixelMetric(QStyle::PM_ToolBarIconSize, nullptr, this);
    QIcon out;
    for (const int size : {extent, 2 * extent}) {
        const QPixmap normal = source.pixmap(QSize(size, size), devicePixelRatio());
        QImage faint = normal.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < faint.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(faint.scanLine(y));
            for (int x = 0; x < faint.width(); ++x) {
                const int grey = 128 + qGray(line[x]) / 2;
                line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 2 / 5);
            }
        }
        out.addPixmap(normal, QIcon::Normal);
        out.addPixmap(QPixmap::fromImage(faint), QIcon::Disabled);
    }
    return out;
}

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      m_options(std::move(options)),
      m_clock(m_options.clock != nullptr ? m_options.clock : &systemClock()),
      m_settings(m_options.settingsFile),
      m_autostart(m_options.autostartFile) {
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Tarvel Utility"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // The same file and keys as the service's: a server's wording is set once for both.
    const ProgramSettings settings = readProgramSettings(
        m_options.settingsFile.isEmpty() ? std::string()
                                         : QFile::encodeName(m_options.settingsFile).toStdString());
    m_service = new BackupService(*m_clock, m_messages, m_options.control,
                                  static_cast<int>(settings.catchUpMinutes), this);
    if (m_options.workerControl) {
        m_service->setWorkerControlFactory(m_options.workerControl);
    }
    if (m_options.walkLimits) {
        m_service->setWalkLimits(*m_options.walkLimits);
    }
    m_editor = new TaskEditor(m_messages, this);
    JobWatch::ControlFactory followerControl =
        m_options.followerControl ? m_options.followerControl : m_options.workerControl;
    if (!followerControl) {
        followerControl = [] { return loadControl(programDirectory()); };
    }
    m_watch = new JobWatch(std::move(followerControl), *m_clock, m_messages,
                           m_service->activityLog(), settings.judge, this);
    m_book = new TaskBook(*m_editor, m_messages, *m_clock, this);
    // The editor, and under it the last and next run of the task it shows.
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_editor);
    m_runs = new RunsRow(central);
    column->addWidget(m_runs);
    setCentralWidget(central);
    buildMenus();
    buildToolBar();
    buildStatusBar();
    connectParts();
    settleMnemonics();
    setFixedSize(sizeHint());

    // The caption reader comes with the window, takes the window's design language and
    // applies its captions as soon as the window is built; the stored language follows in
    // FormCreate.
    LanguageFolders folders{m_options.languageFolder.toStdString(), {}};
    if (folders.program.empty()) {
        folders = {QCoreApplication::applicationDirPath().toStdString(), userDataFolder()};
    }
    m_crLng = new TJKCaptionReader(this, std::move(folders));
    m_crLng->setAutoload(true);
    m_crLng->setLanguage(TLanguage::English);
    m_crLng->addWindow(this);
    // The window is as large as its texts need, in every language.
    // Captions of another language bring other letters: each Alt+letter must again reach
    // one control, the menus first.
    connect(m_crLng, &TJKCaptionReader::captionsApplied, this, [this] {
        settleMnemonics();
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (layout() != nullptr) {
            layout()->activate();
        }
        setFixedSize(sizeHint());
    });
    m_crLng->Loaded();
}

MainWindow::~MainWindow() {
    // A window destroyed without its close still keeps the language chosen.
    m_settings.store(language());
    // The parts use the message table and the clock, which go before the window's
    // children would.
    delete m_watch;
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
    command(task, "miView", "Expected backups", {}, &MainWindow::tbViewClick);

    QMenu* service = named(bar->addMenu(QStringLiteral("&Service")), "miService");
    QMenu* language = named(service->addMenu(QStringLiteral("&Language")), "miLanguage");
    m_miEng = command(language, "miEng", "&English", {}, &MainWindow::miEngClick);
    m_miRus = command(language, "miRus", "&Russian", {}, &MainWindow::miRusClick);
    m_miEng->setCheckable(true);
    m_miRus->setCheckable(true);
    // The program back in the tray at every login: checked while the autostart entry exists.
    QAction* miAutostart = action(service, "miAutostart", "&Start at login");
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
    command(help, "miAbout", "&About", {}, &MainWindow::AboutClick);
}

void MainWindow::buildToolBar() {
    m_toolBar = named(addToolBar(QString()), "ToolBar1");
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setContextMenuPolicy(Qt::PreventContextMenu);

    auto button = [this](const char* name, const char* hint, Icon icon) {
        auto* b = named(new QToolButton(m_toolBar), name);
        b->setToolTip(QString::fromUtf8(hint));
        b->setIcon(toolIcon(icon));
        b->setAutoRaise(true);
        // Toolbar buttons leave the focus where it is, so a command can come while a field
        // is still being edited; the commands tidy the focused field for that reason.
        b->setFocusPolicy(Qt::NoFocus);
        m_toolBar->addWidget(b);
        return b;
    };
    auto command = [this, button](const char* name, const char* hint, Icon icon,
                                  void (MainWindow::*handler)()) {
        QToolButton* b = button(name, hint, icon);
        connect(b, &QToolButton::clicked, this,
                [this, handler] { guarded([=, this] { (this->*handler)(); }); });
    };
    auto separator = [this](const char* name) {
        m_toolBar->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    command("tbNew", "New Task", {"document-new", QStyle::SP_FileIcon}, &MainWindow::NewClick);
    command("tbSave", "Save Task", {"document-save", QStyle::SP_DialogSaveButton},
            &MainWindow::SaveClick);
    separator("ToolButton3");
    command("tbRemove", "Remove Task", {"edit-delete", QStyle::SP_TrashIcon}, &MainWindow::remove);
    command("tbRun", "Run Task", {"media-playback-start", QStyle::SP_MediaPlay},
            &MainWindow::RunClick);
    separator("ToolButton6");
    command("tbView", "Expected backups", {"x-office-calendar", QStyle::SP_FileDialogDetailedView},
            &MainWindow::tbViewClick);
    separator("ToolButton8");
    command("tbAbout", "About", {"help-about", QStyle::SP_MessageBoxInformation},
            &MainWindow::AboutClick);
}

void MainWindow::buildStatusBar() {
    m_sbDesc = new PanelBar("sbDesc", this);
    setStatusBar(m_sbDesc);
    // Panel 0 is 300 pixels wide as laid out at 120 pixels per inch.
    QLabel* hint = m_sbDesc->panel(0);
    QLabel* status = m_sbDesc->panel(1);
    hint->setFixedWidth(300 * logicalDpiX() / 120);
    hint->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_sbDesc->addWidget(hint);
    m_sbDesc->addWidget(status, 1);
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
    connect(m_editor, &TaskEditor::hintChanged, m_sbDesc->panel(0), &QLabel::setText);
    connect(m_book, &TaskBook::taskShown, m_sbDesc->panel(1), &QLabel::clear);
    // The last and next run follow the shown task and its stored line.
    connect(m_book, &TaskBook::taskShown, this, &MainWindow::refreshRuns);
    connect(m_book, &TaskBook::tasksWritten, this, &MainWindow::refreshRuns);
    connect(m_editor->selector(), &QComboBox::currentIndexChanged, this, &MainWindow::refreshRuns);
    connect(m_book, &TaskBook::conversionError, this, &MainWindow::showConversionError);
    connect(m_service, &BackupService::statusChanged, m_sbDesc->panel(1), &QLabel::setText);
    connect(m_service, &BackupService::minuteDue, this, &MainWindow::Timer1Timer);
    connect(m_watch, &JobWatch::lastJobsChanged, this, &MainWindow::refreshRuns);
    connect(m_watch, &JobWatch::jobEnded, this, &MainWindow::jobEnded);
    connect(m_watch, &JobWatch::startsMissed, this, &MainWindow::startsMissed);
    // One walk at a time: the list button waits for the walk's end.
    connect(m_service, &BackupService::walkingChanged, m_editor,
            [this](bool walking) { m_editor->setDatabaseButtonBusy(walking); });
    connect(m_service, &BackupService::schedulerNotice, this, [this](const QString& text) {
        m_sbDesc->panel(0)->setText(text);
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
    m_crLng->setLanguage(static_cast<TLanguage>(m_settings.restore(language())));
    bool ok = loadMessageTable();
    m_editor->applyHintTooltips();
    fitHintPanel();
    ok = m_book->load(kTaskFileName) && ok;
    const LocalDateTime now = m_clock->localNow();
    setStartTime(QString::fromStdString(currentTimeText(now.hour, now.minute)));
    if (!m_service->activityLog().writeStart(m_messages.lookup("stwork"))) {
        MessageBox::error(this, message("freaderr") + QStringLiteral(" tvl.log"));
    }
    setInteractive(true);
    m_service->armTimer();
    m_service->tickSoon();
    refreshRuns();
    return ok;
}

int MainWindow::language() const {
    return static_cast<int>(m_crLng->Language());
}

void MainWindow::fitHintPanel() {
    // Wide enough for the longest hint of every language the program speaks, so a language
    // switch never cuts one off; never narrower than the panel as laid out.
    QStringList texts{QString::fromLatin1(kInvalidTimeText)};
    for (const char* file : {kEnglishTable, kRussianTable}) {
        MessageTable table;
        if (table.load(file)) {
            for (const char* key : m_editor->hintKeys()) {
                texts << fromFileBytes(table.lookup(key));
            }
            // Panel 0 also says which other Tarvel starts the backups, by its PID.
            texts << fromFileBytes(table.lookup("othtvl")) + QStringLiteral(" 4194304");
        }
    }
    const QFontMetrics metrics = m_sbDesc->panel(0)->fontMetrics();
    int widest = 0;
    for (const QString& text : texts) {
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    const int frame = 2 * m_sbDesc->panel(0)->frameWidth();
    const int margin = 2 * metrics.averageCharWidth();
    m_sbDesc->panel(0)->setFixedWidth(std::max(300 * logicalDpiX() / 120, widest + frame + margin));
    setFixedSize(sizeHint());
}

void MainWindow::settleMnemonics() {
    resolveMnemonics(menuBar(), m_editor->runModeButtons(),
                     {m_editor->dayBoxes(), m_editor->monthBoxes()});
}

bool MainWindow::loadMessageTable() {
    m_messages.clear();
    showCheckMarks();
    useQtTranslations(m_crLng->Language());
    const bool russian = language() == kRussian;
    if (!russian && language() != kEnglish) {
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
    m_settings.store(language());
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

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    emit opened();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        emit opened();
    }
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_trayAvailable) {
        // The platform's minimise box: the window leaves the taskbar for the tray once the
        // state change is done. It is hidden still minimised: taking the minimised state
        // away from a hidden window would map it again behind the program's back, blank
        // and taking clicks. Coming back (showNormal) clears the state.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) {
                hide();
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

void MainWindow::rgRunClick() {
    m_editor->rgRunClick();
    m_book->markPending();
}

void MainWindow::RunClick() {
    m_editor->normPaths();
    if (!m_editor->checkFields()) {
        return;
    }
    m_service->run(m_editor->runInputs(), interactive());
    // The job just started shows as the last run without waiting for the minute.
    if (interactive()) {
        m_watch->pass(false);
    }
}

void MainWindow::btDBClick() {
    m_editor->normPaths();
    if (m_editor->databaseListOpen()) {
        const std::vector<std::string> dropped = m_editor->writeDatabaseListBack();
        if (!dropped.empty()) {
            QStringList paths;
            for (const std::string& path : dropped) {
                paths << fromFileBytes(path);
            }
            setStatusText(QStringLiteral("Not in the server's list, left out of the task: ") +
                          paths.join(QStringLiteral("; ")));
        }
    } else {
        openDatabaseList();
    }
}

void MainWindow::openDatabaseList() {
    m_editor->databaseList()->clear();
    const QString ip = m_editor->serverAddress();
    const QString port = m_editor->serverPort();
    const int entry = m_editor->currentEntry();
    // The walk runs off the window thread; the window, and the minute timer, go on
    // meanwhile.
    m_service->walkDatabases(toFileBytes(ip), toFileBytes(port),
                             [this, ip, port, entry](const WalkOutcome& walk) {
                                 databasesListed(walk, ip, port, entry);
                             });
}

void MainWindow::databasesListed(const WalkOutcome& walk, const QString& ip, const QString& port,
                                 int entry) {
    // A list cut short by a failed pass would drop, on closing, every directory of the
    // field that the walk did not get to: the list opens only when it is whole. It belongs
    // to the task and server it was read for; another one shown meanwhile does not get it.
    if (walk.status != WalkStatus::Listed || m_editor->databaseListOpen() ||
        m_editor->currentEntry() != entry || m_editor->serverAddress() != ip ||
        m_editor->serverPort() != port) {
        return;
    }
    const std::string paths = toFileBytes(m_editor->databasePaths());
    m_editor->openDatabaseList(walk.entries, checkMarks(walk.entries, paths));
}

void MainWindow::Timer1Timer() {
    if (m_lifecycle == Lifecycle::Ended) {
        return;
    }
    m_service->tick(m_book->tasks().lines(), [this](std::size_t index) { startScheduled(index); });
    // After the minute's starts, off this thread: the holder of the folder's scheduler
    // lock follows the jobs, any other Tarvel only reads what the holder journaled.
    m_watch->pass(m_service->startsTasks(), m_service->takeMissedSpan(), m_book->tasks().lines());
    refreshRuns();
}

void MainWindow::jobEnded(const JobRecord& job) {
    if (job.outcome != JobOutcome::Failed && job.outcome != JobOutcome::Unknown) {
        return;
    }
    const QString task = fromFileBytes(job.taskName);
    emit backupWarning(task,
                       task + QLatin1Char(' ') + message("tskend") + QLatin1Char(' ') +
                           fromFileBytes(jobOutcomeText(m_messages, job.outcome)),
                       fromFileBytes(jobEndDetail(job)));
}

void MainWindow::startsMissed(const std::vector<HistoryRow>& rows) {
    // One warning a task, naming its last missed start: a long absence is one message
    // for each task, not one for each day; every start has its line in the log.
    std::map<std::string, std::pair<CivilMinute, int>> byTask;
    for (const HistoryRow& row : rows) {
        auto& [last, count] = byTask[row.taskName];
        last = std::max(last, *row.planned);
        ++count;
    }
    for (const auto& [name, missed] : byTask) {
        const QString line = fromFileBytes(startMissedText(m_messages, name, missed.first));
        const QString why =
            QStringLiteral("%1 %2")
                .arg(missed.second)
                .arg(fromFileBytes(historyStateText(m_messages, HistoryState::Missed)));
        emit backupWarning(fromFileBytes(name), line, why);
    }
}

void MainWindow::refreshRuns() {
    // The stored line is what the minute timer starts: unsaved edits do not move the next
    // run, and a new task has none yet.
    const int entry = m_editor->currentEntry();
    const TaskList& tasks = m_book->tasks();
    if (entry < 0 || !tasks.ownsLine(static_cast<std::size_t>(entry))) {
        m_runs->setLastRun(QString(), false);
        m_runs->setNextRun(QString());
        return;
    }
    const std::string_view line = tasks.line(static_cast<std::size_t>(entry));
    LocalDateTime minute = m_clock->localNow();
    minute.second = 0;
    const std::optional<LocalDateTime> next = nextStart(line, minute);
    m_runs->setNextRun(next ? runMinuteText(*next, m_messages) : QStringLiteral("-"));
    const JobRecord* last = m_watch->lastJob(std::string(lineTaskName(line)));
    if (last == nullptr) {
        m_runs->setLastRun(QStringLiteral("-"), false);
        return;
    }
    QString text = runMinuteText(last->startLocal, m_messages) + QStringLiteral(": ") +
                   fromFileBytes(jobOutcomeText(m_messages, last->outcome));
    if (last->finished()) {
        text += QStringLiteral(" - ") + fromFileBytes(jobEndDetail(*last));
    }
    m_runs->setLastRun(text,
                       last->outcome == JobOutcome::Failed || last->outcome == JobOutcome::Unknown);
}

bool MainWindow::editorInUse() const {
    return m_book->selection().editsOnScreen() || m_editor->databaseListOpen() ||
           m_service->walking() || QApplication::activeModalWidget() != nullptr;
}

void MainWindow::startScheduled(std::size_t index) {
    if (editorInUse()) {
        // Unsaved edits, an open database list or an open dialog stay as they are: the
        // backup runs from the task's stored line instead of waiting for an answer.
        m_service->runStoredLine(std::string(m_book->tasks().line(index)));
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
    m_sbDesc->panel(1)->clear();
}

// What the Expected backups command needs of this window, its editor and its task list.
class MainWindow::ExpectedHost : public ExpectedBackupsHost {
public:
    explicit ExpectedHost(MainWindow& w) : m_w(w) {}
    QWidget* hostWindow() override { return &m_w; }
    std::string messageBytes(const char* key) const override { return m_w.m_messages.lookup(key); }
    const MessageTable& messages() const override { return m_w.m_messages; }
    void normalizeDayField() override {
        // The field keeps 1 to 28 itself; reading its text back brings a half-typed value
        // into range. Not an edit: the pending task stays as it was.
        if (auto* seDay = m_w.m_editor->findChild<QSpinBox*>(QStringLiteral("seDay"))) {
            const QSignalBlocker quiet(seDay);
            seDay->interpretText();
        }
    }
    bool hasPendingTask() const override { return m_w.pendingIndex() >= 0; }
    void askSaveQuestion() override { m_w.savprm(); }
    int selectedTask() const override { return m_w.m_editor->currentEntry(); }
    void selectTask(int entry) override {
        if (entry >= 0) {
            m_w.m_book->show(static_cast<std::size_t>(entry));
            return;
        }
        m_w.m_editor->selector()->setCurrentIndex(-1);
        m_w.m_book->cbNameChange();
    }
    const TaskLines& taskLines() const override { return m_w.m_book->tasks().lines(); }
    LocalDateTime now() const override { return m_w.m_clock->localNow(); }

private:
    MainWindow& m_w;
};

void MainWindow::setExpectedBackupsWindows(DateIntervalDialog& dialog, WaitWindow& wait,
                                           TaskViewerWindow& viewer) {
    m_expectedHost = std::make_unique<ExpectedHost>(*this);
    m_expected = std::make_unique<ExpectedBackupsCommand>(*m_expectedHost, dialog, wait, viewer);
}

void MainWindow::tbViewClick() {
    if (m_expected) {
        m_expected->tbViewClick();
    }
}

void MainWindow::miHlpClick() {
    const QString page =
        QDir::current().absoluteFilePath(languageName(language()) + QStringLiteral(".htm"));
    // A missing page or a missing program to open it is not reported.
    QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

void MainWindow::miEngClick() {
    switchLanguage(kEnglish);
}

void MainWindow::miRusClick() {
    switchLanguage(kRussian);
}

void MainWindow::switchLanguage(int to) {
    const bool russian = to == kRussian;
    const char* table = russian ? kRussianTable : kEnglishTable;
    // Each file is looked for where it is read: the message table in the working folder,
    // the caption file where the caption reader finds it.
    const std::string captions = toFileBytes(languageName(to) + QStringLiteral(".lng"));
    if (!QFileInfo::exists(QString::fromLatin1(table)) || !m_crLng->folders().find(captions)) {
        showCheckMarks();
        MessageBox::error(this, russian ? QStringLiteral("Language files not found")
                                        : QStringLiteral("Не найдены файлы локализации"));
        return;
    }
    // The old table stays until the new one has been read whole.
    if (!m_messages.load(table)) {
        showCheckMarks();
        reportUnexpectedError(fromFileBytes(tableReadErrorText(russian)));
        return;
    }
    m_crLng->setLanguage(static_cast<TLanguage>(to));
    m_crLng->ApplyCaptions();
    m_editor->applyHintTooltips();
    showCheckMarks();
    Enter();
    useQtTranslations(m_crLng->Language());
    refreshRuns();
}

void MainWindow::showCheckMarks() {
    m_miEng->setChecked(language() == kEnglish);
    m_miRus->setChecked(language() == kRussian);
}

void MainWindow::AboutClick() {
    if (m_about != nullptr) {
        m_about->openCentredOn(this);
    }
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
    return m_sbDesc->panel(0)->text();
}

QString MainWindow::statusText() const {
    return m_sbDesc->panel(1)->text();
}

void MainWindow::setStatusText(const QString& text) {
    m_sbDesc->panel(1)->setText(text);
}

void MainWindow::Enter() {
    m_sbDesc->panel(0)->clear();
}

QString MainWindow::startTimeText() const {
    return m_editor->startTimeText();
}

void MainWindow::setStartTime(const QString& text) {
    m_editor->setStartTime(text);
}

}  // namespace tvl::ui
