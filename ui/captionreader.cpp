#include "captionreader.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTranslator>
#include <QTreeView>

#include "textcodec.h"

namespace tvl::ui {

namespace {

// One text met on the walk: the window's section, the key, the text shown now, and
// whether a template gets it only when it is neither empty nor "-" (captions and hints;
// radio items and column captions are always written). Returns the text to show.
using CaptionVisit = std::function<QString(const QString& section, const QString& key,
                                           const QString& current, bool conditional)>;

const QString kSeparatorCaption = QStringLiteral("-");

QList<QRadioButton*> radioItems(const QGroupBox* group) {
    return group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
}

// What stands for a component's Caption: docs/captions.md has the table.
std::optional<QString> captionOf(const QObject* o) {
    if (const auto* a = qobject_cast<const QAction*>(o)) {
        return a->isSeparator() ? kSeparatorCaption : a->text();
    }
    if (const auto* m = qobject_cast<const QMenu*>(o)) {
        return m->title();
    }
    if (const auto* g = qobject_cast<const QGroupBox*>(o)) {
        return g->title();
    }
    if (const auto* b = qobject_cast<const QAbstractButton*>(o)) {
        return b->text();
    }
    if (const auto* l = qobject_cast<const QLabel*>(o)) {
        return l->text();
    }
    return std::nullopt;
}

void setCaption(QObject* o, const QString& text) {
    if (auto* a = qobject_cast<QAction*>(o)) {
        if (!a->isSeparator()) {
            a->setText(text);
        }
    } else if (auto* m = qobject_cast<QMenu*>(o)) {
        m->setTitle(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(o)) {
        g->setTitle(text);
    } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
        b->setText(text);
    } else if (auto* l = qobject_cast<QLabel*>(o)) {
        l->setText(text);
    }
}

void visitComponent(QObject* o, const QString& section, const CaptionVisit& visit) {
    const QString name = o->objectName();
    if (const auto caption = captionOf(o)) {
        const QString text = visit(section, name, *caption, true);
        if (text != *caption) {
            setCaption(o, text);
        }
    }
    auto* w = qobject_cast<QWidget*>(o);
    if (w != nullptr && !w->property(kMessageHintProperty).toBool()) {
        const QString hint = w->toolTip();
        const QString text = visit(section, name + QStringLiteral("Hint"), hint, true);
        if (text != hint) {
            w->setToolTip(text);
        }
    }
    if (auto* g = qobject_cast<QGroupBox*>(o)) {
        const QList<QRadioButton*> items = radioItems(g);
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QString current = items[i]->text();
            const QString text = visit(section, name + QString::number(i), current, false);
            if (text != current) {
                items[i]->setText(text);
            }
        }
    }
    QAbstractItemModel* model = nullptr;
    if (auto* tree = qobject_cast<QTreeView*>(o)) {
        model = tree->model();
    } else if (auto* table = qobject_cast<QTableView*>(o)) {
        model = table->model();
    }
    if (model != nullptr) {
        for (int i = 0; i < model->columnCount(); ++i) {
            const QString current = model->headerData(i, Qt::Horizontal).toString();
            const QString text = visit(section, name + QString::number(i), current, false);
            if (text != current) {
                model->setHeaderData(i, Qt::Horizontal, text);
            }
        }
    }
}

bool isOwnWindow(const QObject* o) {
    const auto* w = qobject_cast<const QWidget*>(o);
    return w != nullptr && w->isWindow() && qobject_cast<const QMenu*>(w) == nullptr;
}

// A window's components in the order they were made, depth first. Other windows (dialogs
// the window is parent of), Qt's own parts ("qt_" names), the status bar's panels (their
// texts are the program's messages) and the items of radio groups (keys of their group)
// are not components of their own.
void collectComponents(QObject* parent, std::vector<QObject*>& out) {
    for (QObject* child : parent->children()) {
        const QString name = child->objectName();
        if (isOwnWindow(child) || name.startsWith(QLatin1String("qt_")) ||
            child->property(kKeepsItsText).toBool()) {
            continue;
        }
        if (qobject_cast<QRadioButton*>(child) != nullptr &&
            qobject_cast<QGroupBox*>(parent) != nullptr) {
            continue;
        }
        if (!name.isEmpty()) {
            out.push_back(child);
        }
        if (qobject_cast<QStatusBar*>(child) == nullptr) {
            collectComponents(child, out);
        }
    }
}

void walkCaptions(const std::vector<CaptionWindow>& windows, const CaptionVisit& visit) {
    for (const CaptionWindow& w : windows) {
        if (w.window == nullptr) {
            continue;
        }
        const QString section = w.window->objectName();
        const QString title = w.window->windowTitle();
        const QString text = visit(section, QStringLiteral("Caption"), title, false);
        if (text != title) {
            w.window->setWindowTitle(text);
        }
        std::vector<QObject*> components;
        collectComponents(w.window, components);
        for (QObject* o : w.extra) {
            if (o == nullptr) {
                continue;
            }
            if (!o->objectName().isEmpty()) {
                components.push_back(o);
            }
            collectComponents(o, components);
        }
        for (QObject* o : components) {
            // A component that cannot take its text is passed over; the next one follows.
            try {
                visitComponent(o, section, visit);
            } catch (...) {
            }
        }
    }
}

bool shown(const QString& text) {
    return !text.isEmpty() && text != kSeparatorCaption;
}

QString fromProfile(const std::string& value) {
    return fromFileBytes(value);
}

}  // namespace

TJKCaptionReader::TJKCaptionReader(QObject* owner, LanguageFolders folders)
    : QObject(owner), m_folders(std::move(folders)) {
    setObjectName(QStringLiteral("crLng"));
    std::string text(LanguageName(m_language));
    if (const auto path = m_folders.find(kLanguageFileName)) {
        text = ProfileFile(*path).readString("Config", "Language", text);
    }
    m_language = LanguageFromName(text);
}

TJKCaptionReader::~TJKCaptionReader() {
    // A folder that cannot be written loses the choice quietly: the stored settings keep it.
    ProfileFile file(m_folders.writePath(kLanguageFileName));
    file.writeString("Config", "Language", LanguageName(m_language));
    file.flush();
}

void TJKCaptionReader::addWindow(QWidget* window) {
    m_windows.push_back({window, {}});
}

void TJKCaptionReader::addComponent(QWidget* window, QObject* component) {
    for (CaptionWindow& w : m_windows) {
        if (w.window == window) {
            w.extra.emplace_back(component);
        }
    }
}

std::vector<QWidget*> TJKCaptionReader::windows() const {
    std::vector<QWidget*> list;
    for (const CaptionWindow& w : m_windows) {
        if (w.window != nullptr) {
            list.push_back(w.window);
        }
    }
    return list;
}

QString TJKCaptionReader::captionFileName() const {
    const std::string_view name = LanguageName(m_language);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
           QStringLiteral(".lng");
}

std::optional<std::string> TJKCaptionReader::captionFile() const {
    return m_folders.find(toFileBytes(captionFileName()));
}

void TJKCaptionReader::Loaded() {
    if (m_autoload) {
        ApplyCaptions();
    }
}

void TJKCaptionReader::ApplyCaptions() {
    if (parent() == nullptr) {
        return;
    }
    const auto path = captionFile();
    if (!path) {
        return;
    }
    const ProfileFile file(*path);
    walkCaptions(m_windows,
                 [&file](const QString& section, const QString& key, const QString& current, bool) {
                     const auto value = file.read(toFileBytes(section), toFileBytes(key));
                     return value ? fromProfile(*value) : current;
                 });
    emit captionsApplied();
}

bool TJKCaptionReader::WriteCaptionFile() {
    ProfileFile file(m_folders.writePath(toFileBytes(captionFileName())));
    const CaptionVisit write = [&file](const QString& section, const QString& key,
                                       const QString& current, bool conditional) {
        if (!conditional || shown(current)) {
            file.writeString(toFileBytes(section), toFileBytes(key), toFileBytes(current));
        }
        return current;
    };
    walkCaptions(m_windows, write);
    // Commands that belong to the program rather than to one of its windows get a section
    // of their own; nothing reads them back.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        for (QObject* o : app->children()) {
            const auto caption = captionOf(o);
            if (!o->objectName().isEmpty() && !isOwnWindow(o) && caption) {
                write(o->objectName(), o->objectName(), *caption, true);
            }
        }
    }
    return file.flush();
}

void TJKCaptionReader::LoadCaptions() {
    if (captionFile()) {
        ApplyCaptions();
    } else {
        WriteCaptionFile();
    }
}

void useQtTranslations(TLanguage language) {
    static QTranslator* translator = nullptr;
    if (translator != nullptr) {
        QCoreApplication::removeTranslator(translator);
    }
    if (language != TLanguage::Russian) {
        return;
    }
    if (translator == nullptr) {
        translator = new QTranslator(QCoreApplication::instance());
    }
    if (translator->load(QStringLiteral("qtbase_ru"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    }
}

}  // namespace tvl::ui
