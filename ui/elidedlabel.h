#pragma once

#include <QPainter>
#include <QString>
#include <QWidget>

#include "captionreader.h"

namespace tvl::ui {

// A one-line text that never widens the window: what does not fit ends in "...", and the
// tooltip holds it whole. Its text is the program's, never a caption.
class ElidedLabel : public QWidget {
public:
    explicit ElidedLabel(QWidget* parent) : QWidget(parent) {
        setProperty(kKeepsItsText, true);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    void setText(const QString& text) {
        m_text = text;
        setToolTip(text);
        update();
    }
    const QString& text() const { return m_text; }
    QSize sizeHint() const override { return {0, fontMetrics().height()}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(m_text, Qt::ElideRight, width()));
    }

private:
    QString m_text;
};

}  // namespace tvl::ui
