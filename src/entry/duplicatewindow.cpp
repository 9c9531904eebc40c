#include "duplicatewindow.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QString cdText(qint64 cdid, const QString& title)
{
    return QStringLiteral("%1「%2」").arg(cdid).arg(title);
}

} // namespace

frmDuplicates::frmDuplicates(Collection& collection, QWidget* parent)
    : QDialog(parent), db(collection)
{
    setObjectName(QStringLiteral("frmDuplicates"));
    setWindowTitle(QStringLiteral("重複の候補"));
    const QStringList heading
        = {QStringLiteral("CDID"), QStringLiteral("CD名"), QStringLiteral("曲数"),
           QStringLiteral("CDID"), QStringLiteral("CD名"), QStringLiteral("曲数"),
           QStringLiteral("理由")};
    grdDuplicates = new QTableWidget(0, int(heading.size()), this);
    grdDuplicates->setObjectName(QStringLiteral("grdDuplicates"));
    grdDuplicates->setHorizontalHeaderLabels(heading);
    grdDuplicates->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdDuplicates->setSelectionMode(QAbstractItemView::SingleSelection);
    grdDuplicates->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdDuplicates->verticalHeader()->hide();
    grdDuplicates->horizontalHeader()->setStretchLastSection(true);
    lblDuplicateCount = new QLabel(this);
    lblDuplicateCount->setObjectName(QStringLiteral("lblDuplicateCount"));
    QPushButton* cmdKeepBoth = button("cmdKeepBoth", QStringLiteral("両方残す"), this);
    QPushButton* cmdMergeIntoFirst
        = button("cmdMergeIntoFirst", QStringLiteral("左のCDへ統合"), this);
    QPushButton* cmdMergeIntoSecond
        = button("cmdMergeIntoSecond", QStringLiteral("右のCDへ統合"), this);
    QPushButton* cmdClose = button("cmdClose", QStringLiteral("閉じる"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblDuplicateCount);
    buttons->addStretch();
    for (QPushButton* b : {cmdKeepBoth, cmdMergeIntoFirst, cmdMergeIntoSecond, cmdClose})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdDuplicates);
    layout->addLayout(buttons);
    resize(900, 420);
    connect(cmdKeepBoth, &QPushButton::clicked, this, &frmDuplicates::cmdKeepBoth_Click);
    connect(cmdMergeIntoFirst, &QPushButton::clicked, this, [this] { merge(true); });
    connect(cmdMergeIntoSecond, &QPushButton::clicked, this, [this] { merge(false); });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(&collection, &Collection::rowsChanged, this, &frmDuplicates::changed);
    connect(&collection, &Collection::changeTakenBack, this, &frmDuplicates::changed);
    connect(&collection, &Collection::cdChanged, this, &frmDuplicates::changed);
    connect(&collection, &Collection::songsChanged, this, &frmDuplicates::changed);
    refill();
}

void frmDuplicates::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_stale)
        refill();
}

void frmDuplicates::changed()
{
    if (isVisible())
        refill();
    else
        m_stale = true;
}

void frmDuplicates::refill()
{
    m_stale = false;
    const int row = grdDuplicates->currentRow();
    try {
        m_pairs = db.Duplicates();
    } catch (const DbError& e) {
        m_pairs.clear();
        MsgBox(e.description());
    }
    grdDuplicates->setRowCount(int(m_pairs.size()));
    for (int r = 0; r < m_pairs.size(); ++r) {
        const duplicates::Pair& p = m_pairs[r];
        QString why = duplicates::rulesText(p.rules);
        if (!p.number.isEmpty())
            why += QStringLiteral("（%1）").arg(p.number);
        const QStringList texts = {QString::number(p.first),
                                   p.firstTitle,
                                   QString::number(p.firstSongs),
                                   QString::number(p.second),
                                   p.secondTitle,
                                   QString::number(p.secondSongs),
                                   why};
        for (int c = 0; c < texts.size(); ++c)
            grdDuplicates->setItem(r, c, new QTableWidgetItem(texts[c]));
    }
    lblDuplicateCount->setText(QStringLiteral("候補 %1組").arg(m_pairs.size()));
    if (!m_pairs.isEmpty())
        grdDuplicates->selectRow(std::clamp(row, 0, int(m_pairs.size()) - 1));
}

const duplicates::Pair* frmDuplicates::chosen() const
{
    const int row = grdDuplicates->currentRow();
    if (row < 0 || row >= m_pairs.size()) {
        MsgBox(QStringLiteral("組を選んでください。"));
        return nullptr;
    }
    return &m_pairs[row];
}

void frmDuplicates::cmdKeepBoth_Click()
{
    const duplicates::Pair* p = chosen();
    if (!p)
        return;
    try {
        db.KeepApart(p->first, p->second);
        refill();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmDuplicates::merge(bool intoFirst)
{
    const duplicates::Pair* p = chosen();
    if (!p)
        return;
    const qint64 into = intoFirst ? p->first : p->second;
    const qint64 from = intoFirst ? p->second : p->first;
    const QString kept
        = intoFirst ? cdText(p->first, p->firstTitle) : cdText(p->second, p->secondTitle);
    const QString gone
        = intoFirst ? cdText(p->second, p->secondTitle) : cdText(p->first, p->firstTitle);
    if (MsgBox(QStringLiteral("%1を%2へ統合し、%1を削除します。よろしいですか？"
                              "（元に戻すで取り消せます）")
                   .arg(gone, kept),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Question)
        != QMessageBox::Yes)
        return;
    try {
        const duplicates::Merged merged = db.MergeCDs(into, from);
        MsgBox(QStringLiteral("統合しました（移した曲 %1曲・同じ曲 %2曲）。")
                   .arg(merged.moved)
                   .arg(merged.same));
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}
