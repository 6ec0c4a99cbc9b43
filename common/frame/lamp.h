// SPDX-License-Identifier: MIT
#pragma once

#include "logcolours.h"

#include <QWidget>

#include <initializer_list>

// A lamp: a filled circle 135 twips across, centred in its box, outlined in
// dark red; red is lit, black is out.
class Lamp : public QWidget
{
    Q_OBJECT
public:
    explicit Lamp(QWidget *parent = nullptr);

    quint32 BackColor() const { return m_backColor; }
    void setBackColor(quint32 bgr);
    bool isLit() const { return m_backColor != kBlack; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    quint32 m_backColor = kBlack;
};

// The opaque circle 255 twips across that lies behind a lamp.
class LampRim : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// An empty, transparent area over a lamp whose only purpose is its tooltip.
class TipArea : public QWidget
{
    Q_OBJECT
public:
    TipArea(const QString &tip, QWidget *parent);
};

// One place of a lamp strip: the lamp, where its rim and tooltip area go,
// and the tooltip.
struct LampSlot
{
    Lamp *lamp;
    LampRim **rim;
    TipArea **tip;
    QString tipText;
};

// Lays the lamps out in `frame` 360 twips apart, each with its rim behind
// and its tooltip area over it.
void placeLampStrip(QWidget *frame, std::initializer_list<LampSlot> places);
