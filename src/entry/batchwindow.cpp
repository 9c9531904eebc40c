#include "batchwindow.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "store/fieldtext.h"
#include "widgets/msgbox.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <numeric>

namespace {

constexpr int PreviewRows = 20;

QRadioButton* option(const char* name, const QString& caption, QWidget* parent)
{
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

frmBatch::frmBatch(Collection& collection, const QVector<Listed>& grids, QWidget* parent)
    : QDialog(parent), db(collection), m_grids(grids)
{
    setObjectName(QStringLiteral("frmBatch"));
    setWindowTitle(QStringLiteral("一括変更"));
    cboBatchTarget = new QComboBox(this);
    cboBatchTarget->setObjectName(QStringLiteral("cboBatchTarget"));
    for (const Listed& g : m_grids)
        cboBatchTarget->addItem(g.caption);
    optBatchChosen = option("optBatchChosen", QString(), this);
    optBatchAll = option("optBatchAll", QString(), this);
    cboBatchField = new QComboBox(this);
    cboBatchField->setObjectName(QStringLiteral("cboBatchField"));
    optBatchSet = option("optBatchSet", QStringLiteral("値を設定する"), this);
    optBatchReplace = option("optBatchReplace", QStringLiteral("文字を置き換える"), this);
    optBatchSet->setChecked(true);
    txtBatchFind = new QLineEdit(this);
    txtBatchFind->setObjectName(QStringLiteral("txtBatchFind"));
    txtBatchFind->setEnabled(false);
    txtBatchValue = new QLineEdit(this);
    txtBatchValue->setObjectName(QStringLiteral("txtBatchValue"));
    lblBatchCount = new QLabel(this);
    lblBatchCount->setObjectName(QStringLiteral("lblBatchCount"));
    grdBatchPreview = new QTableWidget(0, 3, this);
    grdBatchPreview->setObjectName(QStringLiteral("grdBatchPreview"));
    grdBatchPreview->setHorizontalHeaderLabels(
        {QStringLiteral("行"), QStringLiteral("変更前"), QStringLiteral("変更後")});
    grdBatchPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdBatchPreview->horizontalHeader()->setStretchLastSection(true);

    auto* rowsChoice = new QHBoxLayout;
    rowsChoice->addWidget(optBatchChosen);
    rowsChoice->addWidget(optBatchAll);
    auto* modeChoice = new QHBoxLayout;
    modeChoice->addWidget(optBatchSet);
    modeChoice->addWidget(optBatchReplace);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("対象"), cboBatchTarget);
    form->addRow(QStringLiteral("行"), rowsChoice);
    form->addRow(QStringLiteral("項目"), cboBatchField);
    form->addRow(QStringLiteral("方法"), modeChoice);
    form->addRow(QStringLiteral("置き換える文字"), txtBatchFind);
    form->addRow(QStringLiteral("新しい値"), txtBatchValue);
    auto* cmdBatchPreview = new QPushButton(QStringLiteral("確認"), this);
    cmdBatchPreview->setObjectName(QStringLiteral("cmdBatchPreview"));
    auto* cmdBatchApply = new QPushButton(QStringLiteral("変更"), this);
    cmdBatchApply->setObjectName(QStringLiteral("cmdBatchApply"));
    auto* cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblBatchCount, 1);
    buttons->addWidget(cmdBatchPreview);
    buttons->addWidget(cmdBatchApply);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(grdBatchPreview);
    layout->addLayout(buttons);
    resize(640, 480);

    connect(cboBatchTarget, &QComboBox::currentIndexChanged, this, &frmBatch::showFields);
    connect(optBatchReplace, &QRadioButton::toggled, txtBatchFind, &QWidget::setEnabled);
    connect(cmdBatchPreview, &QPushButton::clicked, this, &frmBatch::cmdBatchPreview_Click);
    connect(cmdBatchApply, &QPushButton::clicked, this, &frmBatch::cmdBatchApply_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    // the grid where several rows are chosen is the one meant
    for (int i = 0; i < m_grids.size(); ++i)
        if (m_grids[i].chosen.size() > 1) {
            cboBatchTarget->setCurrentIndex(i);
            break;
        }
    showFields();
}

const frmBatch::Listed& frmBatch::target() const
{
    return m_grids.at(std::max(0, cboBatchTarget->currentIndex()));
}

void frmBatch::showFields()
{
    const Listed& t = target();
    const int listed = t.view && t.view->isOpen() ? t.view->recordCount() : 0;
    optBatchChosen->setText(QStringLiteral("選んだ行（%1行）").arg(t.chosen.size()));
    optBatchAll->setText(QStringLiteral("一覧のすべての行（%1行）").arg(listed));
    optBatchChosen->setEnabled(!t.chosen.isEmpty());
    (t.chosen.size() > 1 ? optBatchChosen : optBatchAll)->setChecked(true);
    cboBatchField->clear();
    if (t.view)
        cboBatchField->addItems(batch::changeableFields(*t.view));
    lblBatchCount->clear();
    grdBatchPreview->setRowCount(0);
}

QVector<int> frmBatch::rows() const
{
    if (optBatchChosen->isChecked())
        return target().chosen;
    QVector<int> all(target().view ? target().view->recordCount() : 0);
    std::iota(all.begin(), all.end(), 0);
    return all;
}

batch::Order frmBatch::order() const
{
    batch::Order o;
    o.field = cboBatchField->currentText();
    o.replace = optBatchReplace->isChecked();
    o.find = txtBatchFind->text();
    o.value = txtBatchValue->text();
    return o;
}

std::optional<QVector<batch::Change>> frmBatch::planned()
{
    try {
        return db.PlanBatch(target().view, rows(), order());
    } catch (const DbError& e) {
        MsgBox(e.description());
        return std::nullopt;
    }
}

void frmBatch::cmdBatchPreview_Click()
{
    showPreview(planned());
}

void frmBatch::showPreview(const std::optional<QVector<batch::Change>>& changes)
{
    grdBatchPreview->setRowCount(0);
    if (!changes) {
        lblBatchCount->clear();
        return;
    }
    lblBatchCount->setText(QStringLiteral("%1行が変わります").arg(changes->size()));
    const int shown = int(std::min<qsizetype>(changes->size(), PreviewRows));
    grdBatchPreview->setRowCount(shown);
    for (int i = 0; i < shown; ++i) {
        const batch::Change& c = changes->at(i);
        const QString texts[] = {c.row, plainText(c.before), plainText(c.after)};
        for (int column = 0; column < 3; ++column)
            grdBatchPreview->setItem(i, column, new QTableWidgetItem(texts[column]));
    }
    grdBatchPreview->resizeColumnsToContents();
}

void frmBatch::cmdBatchApply_Click()
{
    const std::optional<QVector<batch::Change>> changes = planned();
    showPreview(changes);
    if (!changes)
        return;
    if (changes->isEmpty()) {
        MsgBox(QStringLiteral("変わる行はありません"));
        return;
    }
    if (MsgBox(QStringLiteral("%1の「%2」を %3行 変更します。\rよろしいですか。")
                   .arg(target().caption, order().field)
                   .arg(changes->size()),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Question,
               QStringLiteral("一括変更"))
        != QMessageBox::Yes)
        return;
    try {
        db.ApplyBatch(target().view, order().field, *changes);
        accept();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}
