#include "maintenance/logical_placement.h"

#include <QEvent>
#include <QStyle>
#include <QWidget>

namespace movan {

namespace {

constexpr char kLogicalRect[] = "logicalRect";
constexpr char kPlacerName[] = "logicalPlacement";

void place(QWidget *child)
{
    const QWidget *parent = child->parentWidget();
    QRect logical = child->property(kLogicalRect).toRect();
    if (logical.width() <= 0)
        logical.setWidth(parent->width() - logical.x() + logical.width());
    child->setGeometry(QStyle::visualRect(parent->layoutDirection(), parent->rect(), logical));
}

class Placer : public QObject {
public:
    explicit Placer(QWidget *parent)
        : QObject(parent)
    {
        setObjectName(QLatin1String(kPlacerName));
        parent->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == parent()
            && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutDirectionChange)) {
            for (QWidget *child :
                 static_cast<QWidget *>(watched)->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (child->property(kLogicalRect).isValid())
                    place(child);
            }
        }
        return false;
    }
};

} // namespace

void placeLogically(QWidget *child, const QRect &logical)
{
    QWidget *parent = child->parentWidget();
    if (!parent->findChild<Placer *>(QLatin1String(kPlacerName), Qt::FindDirectChildrenOnly))
        new Placer(parent);
    // Stored as x, y, width, height: a QRect of width 0 or less is not valid.
    child->setProperty(kLogicalRect, logical);
    place(child);
}

} // namespace movan
