#include "taskselector.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QFrame>
#include <QListView>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>

#include "tasknamemodel.h"

namespace tvl::ui {

namespace {

// The desktop's own style, except that a combo box's list is a drop-down list, never a menu.
class DropDownListStyle : public QProxyStyle {
public:
    DropDownListStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* answer) const override {
        if (hint == SH_ComboBox_Popup) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
};

}  // namespace

TaskSelector::TaskSelector(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    auto* style = new DropDownListStyle;
    style->setParent(this);
    setStyle(style);
    // Every entry is one line of text in one font: the list lays out and scrolls by the
    // first entry's height instead of measuring each.
    if (auto* list = qobject_cast<QListView*>(view())) {
        list->setUniformItemSizes(true);
    }
}

void TaskSelector::setNames(TaskNameModel* names) {
    m_names = names;
    setModel(names);
}

void TaskSelector::showPopup() {
    if (m_names != nullptr && count() > 0) {
        // The list is at least as wide as the selector; this widens it so that no name is
        // cut: the text, the margins the list draws beside it and the scroll bar.
        QAbstractItemView* list = view();
        const QStyle* style = list->style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
        int width = m_names->widestNameWidth(list->font()) + 2 * margin;
        if (count() > maxVisibleItems()) {
            width += style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
        }
        // A name wider than the screen is cut rather than the list put partly off it; the
        // list's frame is beside it.
        int room = screen()->availableGeometry().width();
        if (const auto* frame = qobject_cast<const QFrame*>(list->window())) {
            room -= 2 * frame->frameWidth();
        }
        list->setMinimumWidth(std::min(width, room));
    }
    QComboBox::showPopup();
}

}  // namespace tvl::ui
