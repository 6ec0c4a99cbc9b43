// SPDX-License-Identifier: MIT
#include "framedialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

FrameDialog::FrameDialog(int gapMs, bool msStamps, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("接收分帧"));
    GapBox = new QSpinBox(this);
    GapBox->setRange(0, kMostGapMs);
    GapBox->setSpecialValueText(QStringLiteral("0（关：每次收集一秒）"));
    GapBox->setValue(gapMs);
    GapBox->setAccessibleName(QStringLiteral("静默间隔（毫秒）"));
    ChkMs = new QCheckBox(QStringLiteral("毫秒时间戳"), this);
    ChkMs->setChecked(msStamps);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("静默间隔（毫秒）："), GapBox);
    form->addRow(ChkMs);
    form->addRow(buttons);
}

int FrameDialog::gapMs() const
{
    return GapBox->value();
}

bool FrameDialog::msStamps() const
{
    return ChkMs->isChecked();
}
