#include "windows/kit/skin_frame.h"

#include "windows/kit/skin_artwork.h"

#include <QEvent>
#include <QPainter>

namespace ravir {
namespace {
const QString kFrame = QStringLiteral("window_frame");
}

CSkinFrame::CSkinFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("skinFrame"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    if (parent) {
        setGeometry(parent->rect());
        parent->installEventFilter(this);
    }
}

QSize CSkinFrame::cellSize() const
{
    const QSize d = skin::designSize(kFrame);
    const double s = skin::scale();
    return {static_cast<int>(d.width() * s) / 3, static_cast<int>(d.height() * s) / 3};
}

bool CSkinFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        raise();
    }
    return QWidget::eventFilter(watched, event);
}

void CSkinFrame::paintEvent(QPaintEvent*)
{
    const QSize cell = cellSize();
    if (cell.isEmpty())
        return;
    const QPixmap picture = skin::render(kFrame, QSize(cell.width() * 3, cell.height() * 3));
    if (picture.isNull())
        return;
    QPainter p(this);
    const int W = width();
    const int H = height();
    const int u = W / cell.width();
    const int w = H / cell.height();
    for (int row = 0; row <= w; ++row) {
        for (int col = 0; col <= u; ++col) {
            if (row != 0 && row != w && col != 0 && col != u)
                continue;
            const int srcCol = col == 0 ? 0 : (col == u ? 2 : 1);
            const int srcRow = row == 0 ? 0 : (row == w ? 2 : 1);
            const int x = col == u ? W - cell.width() : col * cell.width();
            const int y = row == w ? H - cell.height() : row * cell.height();
            p.drawPixmap(QRect(x, y, cell.width() + 1, cell.height() + 1), picture,
                         QRect(srcCol * cell.width(), srcRow * cell.height(), cell.width(), cell.height()));
        }
    }
}

}  // namespace ravir
