// SPDX-License-Identifier: MIT
#include "filesenddialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

FileSendDialog::FileSendDialog(const QString &path, qint64 size, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("发送文件"));
    auto *file = new QLabel(QStringLiteral("%1\n%2个字节").arg(path).arg(size), this);
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    DelayBox = new QSpinBox(this);
    DelayBox->setRange(0, kMostDelayMs);
    DelayBox->setSpecialValueText(QStringLiteral("0（不延时）"));
    DelayBox->setAccessibleName(QStringLiteral("延时（毫秒）"));
    OptPerByte = new QRadioButton(QStringLiteral("每个字节之后"), this);
    OptPerLine = new QRadioButton(QStringLiteral("每行之后"), this);
    OptPerLine->setChecked(true);
    auto *where = new QHBoxLayout;
    where->addWidget(OptPerLine);
    where->addWidget(OptPerByte);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("发送"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *form = new QFormLayout(this);
    form->addRow(file);
    form->addRow(QStringLiteral("延时（毫秒）："), DelayBox);
    form->addRow(QString(), where);
    form->addRow(buttons);
}

FileSend::Pace FileSendDialog::pace() const
{
    if (DelayBox->value() == 0)
        return FileSend::Pace::None;
    return OptPerByte->isChecked() ? FileSend::Pace::PerByte : FileSend::Pace::PerLine;
}

int FileSendDialog::delayMs() const
{
    return DelayBox->value();
}
