#include "mnemonics.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenuBar>
#include <QSet>
#include <QString>

namespace tvl::ui {

namespace {

// The position of the marked letter in a caption; -1 for none ("&&" is a plain "&").
qsizetype markAt(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (caption[i + 1] != QLatin1Char('&')) {
                return i + 1;
            }
            ++i;
        }
    }
    return -1;
}

QChar markedLetter(const QString& caption) {
    const qsizetype at = markAt(caption);
    return at < 0 ? QChar() : caption[at].toLower();
}

// The caption with its mark on the first letter not in `taken`, or with no mark.
QString remark(const QString& caption, const QSet<QChar>& taken) {
    QString plain = caption;
    const qsizetype at = markAt(caption);
    if (at >= 0) {
        plain.remove(at - 1, 1);
    }
    for (qsizetype i = 0; i < plain.size(); ++i) {
        if (plain[i].isLetterOrNumber() && !taken.contains(plain[i].toLower()) &&
            (i == 0 || plain[i - 1] != QLatin1Char('&'))) {
            return plain.left(i) + QLatin1Char('&') + plain.mid(i);
        }
    }
    return plain;
}

void settle(const std::vector<QAbstractButton*>& group, QSet<QChar>& taken) {
    for (QAbstractButton* button : group) {
        QChar letter = markedLetter(button->text());
        if (letter.isNull()) {
            continue;
        }
        if (taken.contains(letter)) {
            button->setText(remark(button->text(), taken));
            letter = markedLetter(button->text());
        }
        if (!letter.isNull()) {
            taken.insert(letter);
        }
    }
}

}  // namespace

void resolveMnemonics(QMenuBar* bar, const std::vector<QAbstractButton*>& first,
                      const std::vector<std::vector<QAbstractButton*>>& thenEach) {
    QSet<QChar> taken;
    for (const QAction* menu : bar->actions()) {
        const QChar letter = markedLetter(menu->text());
        if (!letter.isNull()) {
            taken.insert(letter);
        }
    }
    settle(first, taken);
    for (const auto& group : thenEach) {
        QSet<QChar> groupTaken = taken;
        settle(group, groupTaken);
    }
}

}  // namespace tvl::ui
