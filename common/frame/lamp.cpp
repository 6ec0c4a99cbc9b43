// SPDX-License-Identifier: MIT
#include "lamp.h"

#include "twips.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

namespace {

// A lamp as a screen reader knows it: an indicator named by its tooltip,
// checked while lit, its state also said in words as its description.
class LampAccessible : public QAccessibleWidget
{
public:
    explicit LampAccessible(Lamp *lamp) : QAccessibleWidget(lamp, QAccessible::Indicator) {}
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = static_cast<const Lamp *>(widget())->isLit();
        return s;
    }
};

// The frame of a lamp strip as a screen reader knows it: a group holding
// the lamps only. The rims and tooltip areas are drawing, not controls, and
// would be heard as a dozen nameless fillers.
class LampStripAccessible : public QAccessibleWidget
{
public:
    explicit LampStripAccessible(QWidget *frame) : QAccessibleWidget(frame, QAccessible::Grouping) {}
    int childCount() const override { return int(lamps().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<Lamp *> all = lamps();
        return index >= 0 && index < all.size() ? QAccessible::queryAccessibleInterface(all.at(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(lamps().indexOf(qobject_cast<Lamp *>(child->object()))) : -1;
    }

private:
    QList<Lamp *> lamps() const { return widget()->findChildren<Lamp *>(Qt::FindDirectChildrenOnly); }
};

constexpr char kLampStrip[] = "lampStrip";

QAccessibleInterface *lampFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("Lamp"))
        return new LampAccessible(static_cast<Lamp *>(object));
    if (object->property(kLampStrip).toBool())
        return new LampStripAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

void installLampFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(lampFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace

Lamp::Lamp(QWidget *parent) : QWidget(parent)
{
    installLampFactory();
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleDescription(QStringLiteral("灭"));
}

void Lamp::setBackColor(quint32 bgr)
{
    if (bgr == m_backColor)
        return;
    const bool wasLit = isLit();
    m_backColor = bgr;
    update();
    if (isLit() == wasLit)
        return;
    setAccessibleDescription(isLit() ? QStringLiteral("亮") : QStringLiteral("灭"));
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

namespace {
// A circle of `diameterTwips` centred in `box`, in device-independent pixels.
QRectF centredCircle(const QRect &box, int diameterTwips)
{
    const qreal d = diameterTwips / 15.0;
    return QRectF(box.center().x() + 0.5 - d / 2, box.center().y() + 0.5 - d / 2, d, d);
}
} // namespace

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(192, 0, 0), 1));
    p.setBrush(QColor::fromRgb(rgbFromBgr(m_backColor)));
    p.drawEllipse(centredCircle(rect(), 135).adjusted(0.5, 0.5, -0.5, -0.5));
}

void LampRim::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    p.setBrush(palette().color(QPalette::Base));
    p.drawEllipse(centredCircle(rect(), 255).adjusted(0.5, 0.5, -0.5, -0.5));
}

TipArea::TipArea(const QString &tip, QWidget *parent) : QWidget(parent)
{
    setToolTip(tip);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void placeLampStrip(QWidget *frame, std::initializer_list<LampSlot> places)
{
    // Marked before anything asks for its accessible interface, which is
    // made once per object.
    installLampFactory();
    frame->setProperty(kLampStrip, true);
    // Created in this order, rims lie lowest and tooltip areas on top.
    int i = 0;
    for (const LampSlot &slot : places) {
        *slot.rim = new LampRim(frame);
        (*slot.rim)->setGeometry(twRect(360 * i++, 120, 375, 255));
    }
    i = 0;
    for (const LampSlot &slot : places) {
        slot.lamp->setParent(frame);
        slot.lamp->setAccessibleName(slot.tipText);
        slot.lamp->setGeometry(twRect(60 + 360 * i++, 180, 255, 135));
        slot.lamp->raise();
    }
    i = 0;
    for (const LampSlot &slot : places) {
        *slot.tip = new TipArea(slot.tipText, frame);
        (*slot.tip)->setGeometry(twRect(60 + 360 * i++, 120, 255, 255));
    }
}
