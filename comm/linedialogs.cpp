// SPDX-License-Identifier: MIT
#include "linedialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>

#include <limits>

const QList<qint32> SpeedDialog::kHigherRates = {230400,  460800,  500000,  576000,  921600,
                                                 1000000, 1500000, 2000000, 3000000, 4000000};

qint32 rateFromText(const QString &text)
{
    bool ok = false;
    const qlonglong rate = text.trimmed().toLongLong(&ok);
    if (!ok || rate < 1 || rate > std::numeric_limits<qint32>::max())
        return 0;
    // Digits only: "+9600" or "0x100" is not what the box shows.
    for (const QChar c : text.trimmed())
        if (!c.isDigit())
            return 0;
    return qint32(rate);
}

SpeedDialog::SpeedDialog(qint32 current, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("其他速率"));
    RateBox = new QComboBox(this);
    RateBox->setEditable(true);
    RateBox->setInsertPolicy(QComboBox::NoInsert);
    for (const qint32 rate : kHigherRates)
        RateBox->addItem(QString::number(rate));
    RateBox->setMaxVisibleItems(int(kHigherRates.size()));
    RateBox->lineEdit()->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,10}")), RateBox));
    RateBox->setEditText(QString::number(current));
    RateBox->setAccessibleName(QStringLiteral("波特率"));
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] {
        if (rate() > 0)
            accept();
    });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // OK only while the box holds a rate the port could be asked for.
    connect(RateBox, &QComboBox::editTextChanged, this,
            [this] { m_buttons->button(QDialogButtonBox::Ok)->setEnabled(rate() > 0); });
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(rate() > 0);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("波特率（bit/s）："), RateBox);
    form->addRow(m_buttons);
}

qint32 SpeedDialog::rate() const
{
    return rateFromText(RateBox->currentText());
}

DevicePathDialog::DevicePathDialog(const QString &port, const QString &current, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("其他设备"));
    PathBox = new QLineEdit(current, this);
    PathBox->setPlaceholderText(QStringLiteral("/dev/ttyXXX"));
    PathBox->setAccessibleName(QStringLiteral("设备路径"));
    PathBox->setMinimumWidth(PathBox->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!path().isEmpty())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *form = new QFormLayout(this);
    form->addRow(port + QStringLiteral(" 绑定到："), PathBox);
    form->addRow(buttons);
}

QString DevicePathDialog::path() const
{
    return PathBox->text().trimmed();
}

LineTimingDialog::LineTimingDialog(int pulseMs, int breakMs, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("脉冲与中断时长"));
    const auto box = [this](int value, const QString &name) {
        auto *spin = new QSpinBox(this);
        spin->setRange(kLeastMs, kMostMs);
        spin->setSuffix(QStringLiteral(" 毫秒"));
        spin->setValue(value);
        spin->setAccessibleName(name);
        return spin;
    };
    PulseBox = box(pulseMs, QStringLiteral("DTR 脉冲"));
    BreakBox = box(breakMs, QStringLiteral("中断信号"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("DTR 脉冲（低电平）："), PulseBox);
    form->addRow(QStringLiteral("中断信号："), BreakBox);
    form->addRow(buttons);
}

int LineTimingDialog::pulseMs() const
{
    return PulseBox->value();
}

int LineTimingDialog::breakMs() const
{
    return BreakBox->value();
}
