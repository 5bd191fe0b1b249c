#include "grid_resources.h"

#include <QPainter>
#include <QPolygon>
#include <array>

namespace zentra::grid {

namespace {

QPixmap make(GridBitmap which) {
    const bool box = which == GridBitmap::CheckBox || which == GridBitmap::UnCheckBox;
    QPixmap pm(box ? QSize(13, 13) : QSize(9, 9));
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::black);
    switch (which) {
        case GridBitmap::CheckBox:
        case GridBitmap::UnCheckBox:
            p.fillRect(0, 0, 13, 13, Qt::white);
            p.setPen(QColor(51, 51, 51));
            p.drawRect(0, 0, 12, 12);
            if (which == GridBitmap::CheckBox) {
                p.setPen(QPen(Qt::black, 2));
                p.drawPolyline(QPolygon({QPoint(3, 6), QPoint(5, 9), QPoint(10, 3)}));
            }
            break;
        case GridBitmap::ActiveRec:
            p.setBrush(Qt::black);
            p.drawPolygon(QPolygon({QPoint(2, 0), QPoint(6, 4), QPoint(2, 8)}));
            break;
        case GridBitmap::EditRec:
            p.drawLine(4, 0, 4, 8);
            p.drawLine(2, 0, 6, 0);
            p.drawLine(2, 8, 6, 8);
            break;
        case GridBitmap::SortInc:  // descending: the wide end at the top
            p.setBrush(Qt::black);
            p.drawPolygon(QPolygon({QPoint(0, 2), QPoint(8, 2), QPoint(4, 6)}));
            break;
        case GridBitmap::SortDec:
            p.setBrush(Qt::black);
            p.drawPolygon(QPolygon({QPoint(0, 6), QPoint(8, 6), QPoint(4, 2)}));
            break;
        case GridBitmap::DropImage:
            p.setBrush(Qt::black);
            p.drawPolygon(QPolygon({QPoint(1, 3), QPoint(7, 3), QPoint(4, 6)}));
            break;
        case GridBitmap::DropEllipsis:
            for (int x : {1, 4, 7})
                p.fillRect(x, 6, 2, 2, Qt::black);
            break;
        case GridBitmap::DropWindow:
            p.drawRect(0, 1, 8, 7);
            p.fillRect(0, 1, 9, 2, Qt::black);
            break;
    }
    return pm;
}

}  // namespace

const QPixmap& gridBitmap(GridBitmap which) {
    static std::array<QPixmap, 9> cache;
    QPixmap& pm = cache[static_cast<size_t>(which)];
    if (pm.isNull()) pm = make(which);
    return pm;
}

}  // namespace zentra::grid
