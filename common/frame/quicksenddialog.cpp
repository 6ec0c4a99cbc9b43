// SPDX-License-Identifier: MIT
#include "quicksenddialog.h"

#include "messagebox.h"
#include "savedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

template<typename Names>
QComboBox *choiceBox(const Names &names)
{
    auto *box = new QComboBox;
    for (const auto &name : names)
        box->addItem(QString::fromUtf8(name.menu));
    return box;
}

} // namespace

QuickSendDialog::QuickSendDialog(const QuickSendSet &set, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("快捷发送"));
    Table = new QTableWidget(QuickSendSet::kKeys, Columns, this);
    Table->setHorizontalHeaderLabels({QStringLiteral("名称"), QStringLiteral("内容"), QStringLiteral("字节"),
                                      QStringLiteral("行尾"), QStringLiteral("校验"), QStringLiteral("周期（毫秒）"),
                                      QStringLiteral("次数")});
    QStringList keys;
    for (int i = 0; i < QuickSendSet::kKeys; ++i) {
        keys << QStringLiteral("F%1").arg(i + 1);
        Table->setCellWidget(i, Bytes, new QCheckBox);
        Table->setCellWidget(i, Ending, choiceBox(kLineEndings));
        Table->setCellWidget(i, Check, choiceBox(kChecksums));
        auto *period = new QSpinBox;
        period->setRange(0, QuickSend::kMostPeriodMs);
        period->setSpecialValueText(QStringLiteral("不重复"));
        Table->setCellWidget(i, Period, period);
        auto *count = new QSpinBox;
        count->setRange(0, 1000000);
        count->setSpecialValueText(QStringLiteral("不限"));
        Table->setCellWidget(i, Count, count);
    }
    Table->setVerticalHeaderLabels(keys);
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Table->horizontalHeader()->setSectionResizeMode(Content, QHeaderView::Stretch);
    Table->horizontalHeader()->setSectionResizeMode(Name, QHeaderView::Interactive);
    Table->setColumnWidth(Name, 110);
    fill(set);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *exportButton = buttons->addButton(QStringLiteral("导出…"), QDialogButtonBox::ActionRole);
    QPushButton *importButton = buttons->addButton(QStringLiteral("导入…"), QDialogButtonBox::ActionRole);
    connect(exportButton, &QPushButton::clicked, this, &QuickSendDialog::exportSet);
    connect(importButton, &QPushButton::clicked, this, &QuickSendDialog::importSet);
    connect(buttons, &QDialogButtonBox::accepted, this, &QuickSendDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Table);
    layout->addWidget(buttons);
    // Wide enough for a message, within the screen.
    QSize size(820, 460);
    if (const QScreen *screen = parent ? parent->screen() : nullptr)
        size = size.boundedTo(screen->availableGeometry().size() - QSize(20, 40));
    resize(size);
}

void QuickSendDialog::fill(const QuickSendSet &set)
{
    for (int i = 0; i < QuickSendSet::kKeys; ++i) {
        const QuickSend &s = set.keys[size_t(i)];
        Table->setItem(i, Name, new QTableWidgetItem(s.name));
        Table->setItem(i, Content, new QTableWidgetItem(s.content));
        static_cast<QCheckBox *>(Table->cellWidget(i, Bytes))->setChecked(s.bytes);
        static_cast<QComboBox *>(Table->cellWidget(i, Ending))->setCurrentIndex(choiceIndex(kLineEndings, s.ending));
        static_cast<QComboBox *>(Table->cellWidget(i, Check))->setCurrentIndex(choiceIndex(kChecksums, s.checksum));
        static_cast<QSpinBox *>(Table->cellWidget(i, Period))->setValue(s.periodMs);
        static_cast<QSpinBox *>(Table->cellWidget(i, Count))->setValue(s.count);
    }
}

QuickSendSet QuickSendDialog::set() const
{
    QuickSendSet set;
    for (int i = 0; i < QuickSendSet::kKeys; ++i) {
        QuickSend &s = set.keys[size_t(i)];
        s.name = Table->item(i, Name) ? Table->item(i, Name)->text() : QString();
        s.content = Table->item(i, Content) ? Table->item(i, Content)->text() : QString();
        s.bytes = static_cast<QCheckBox *>(Table->cellWidget(i, Bytes))->isChecked();
        s.ending = kLineEndings[static_cast<QComboBox *>(Table->cellWidget(i, Ending))->currentIndex()].value;
        s.checksum = kChecksums[static_cast<QComboBox *>(Table->cellWidget(i, Check))->currentIndex()].value;
        s.periodMs = static_cast<QSpinBox *>(Table->cellWidget(i, Period))->value();
        s.count = static_cast<QSpinBox *>(Table->cellWidget(i, Count))->value();
    }
    return set;
}

void QuickSendDialog::accept()
{
    const QuickSendSet chosen = set();
    for (int i = 0; i < QuickSendSet::kKeys; ++i) {
        if (const Problem problem = chosen.keys[size_t(i)].check()) {
            showNotice(this, QStringLiteral("F%1：").arg(i + 1) + problem.description(), QStringLiteral("提示"));
            Table->setCurrentCell(i, Content);
            return;
        }
    }
    QDialog::accept();
}

void QuickSendDialog::exportSet()
{
    QString chosenFilter;
    const QString path = askSavePath(this, QStringLiteral("导出快捷发送"), suggestedSavePath(QStringLiteral(".json")),
                                     QStringLiteral("快捷发送 (*.json);;所有文件 (*)"), &chosenFilter);
    if (path.isEmpty())
        return;
    if (const Problem problem = set().save(path))
        showNotice(this, QStringLiteral("保存失败：") + path + u'\n' + problem.description(), QStringLiteral("提示"));
}

void QuickSendDialog::importSet()
{
    const QString path = askOpenPath(this, QStringLiteral("导入快捷发送"));
    if (path.isEmpty())
        return;
    QuickSendSet read;
    if (const Problem problem = QuickSendSet::load(path, &read)) {
        showNotice(this, QStringLiteral("无法导入：") + path + u'\n' + problem.description(), QStringLiteral("提示"));
        return;
    }
    fill(read);
}
