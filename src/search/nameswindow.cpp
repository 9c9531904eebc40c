#include "nameswindow.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "store/statistics.h"
#include "widgets/databound.h"
#include "widgets/msgbox.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <functional>

namespace {

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QStandardItem* item(const QString& text)
{
    auto* i = new QStandardItem(text);
    i->setToolTip(text);
    return i;
}

} // namespace

frmNames::frmNames(Collection& collection, QWidget* parent) : QDialog(parent), db(collection)
{
    setObjectName(QStringLiteral("frmNames"));
    setWindowTitle(QStringLiteral("名前の整理"));
    m_nameModel = new QStandardItemModel(this);
    m_suggestionModel = new QStandardItemModel(this);
    grdNames = listGrid(QStringLiteral("grdNames"), m_nameModel, this);
    grdNames->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdSuggestions = listGrid(QStringLiteral("grdSuggestions"), m_suggestionModel, this);
    grdSuggestions->setSelectionMode(QAbstractItemView::SingleSelection);
    lstSpellings = new QListWidget(this);
    lstSpellings->setObjectName(QStringLiteral("lstSpellings"));
    QPushButton* cmdJoin = button("cmdJoin", QStringLiteral("まとめる"), this);
    QPushButton* cmdSplit = button("cmdSplit", QStringLiteral("分ける"), this);
    QPushButton* cmdRename = button("cmdRename", QStringLiteral("名前を変える..."), this);
    QPushButton* cmdUnify = button("cmdUnify", QStringLiteral("この表記に統一"), this);
    QPushButton* cmdClose = button("cmdClose", QStringLiteral("閉じる"), this);

    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("表記"), this));
    right->addWidget(lstSpellings, 1);
    for (QPushButton* b : {cmdSplit, cmdRename, cmdUnify})
        right->addWidget(b);
    auto* top = new QHBoxLayout;
    top->addWidget(grdNames, 3);
    top->addLayout(right, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cmdJoin);
    bottom->addStretch();
    bottom->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 3);
    layout->addWidget(new QLabel(QStringLiteral("同じ人かもしれない名前"), this));
    layout->addWidget(grdSuggestions, 1);
    layout->addLayout(bottom);
    resize(900, 650);

    connect(grdNames->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showSpellings(); });
    connect(cmdJoin, &QPushButton::clicked, this, &frmNames::cmdJoin_Click);
    connect(cmdSplit, &QPushButton::clicked, this, &frmNames::cmdSplit_Click);
    connect(cmdRename, &QPushButton::clicked, this, &frmNames::cmdRename_Click);
    connect(cmdUnify, &QPushButton::clicked, this, &frmNames::cmdUnify_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    refill();
}

void frmNames::refill()
{
    const QString current = currentGroup() ? currentGroup()->name : QString();
    try {
        const stats::Shown all = stats::shownIn(db, true, false);
        m_groups = names::gather(all.songs, all.cds, db.NameJoins());
    } catch (const DbError& e) {
        m_groups.clear();
        MsgBox(e.description());
    }
    m_suggestions = names::suggest(m_groups);
    m_nameModel->clear();
    m_nameModel->setHorizontalHeaderLabels({QStringLiteral("名前"), QStringLiteral("表記"),
                                            QStringLiteral("曲"), QStringLiteral("CD")});
    int again = 0;
    for (int i = 0; i < m_groups.size(); ++i) {
        const names::Group& g = m_groups[i];
        QStringList spellings;
        for (const names::Spelling& s : g.spellings)
            spellings << s.text;
        m_nameModel->appendRow({item(g.name), item(spellings.join(QStringLiteral("、"))),
                                item(QString::number(g.songs)), item(QString::number(g.cds))});
        if (g.name == current)
            again = i;
    }
    m_suggestionModel->clear();
    m_suggestionModel->setHorizontalHeaderLabels({QStringLiteral("名前"), QStringLiteral("名前"),
                                                  QStringLiteral("曲"), QStringLiteral("理由")});
    for (const names::Suggestion& s : m_suggestions) {
        const names::Group& a = m_groups[s.first];
        const names::Group& b = m_groups[s.second];
        m_suggestionModel->appendRow({item(a.name), item(b.name),
                                      item(QStringLiteral("%1＋%2").arg(a.songs).arg(b.songs)),
                                      item(s.why)});
    }
    grdNames->resizeColumnsToContents();
    grdSuggestions->resizeColumnsToContents();
    if (!m_groups.isEmpty())
        grdNames->setCurrentIndex(m_nameModel->index(again, 0));
    showSpellings();
}

const names::Group* frmNames::currentGroup() const
{
    const int row = grdNames->currentIndex().row();
    return row >= 0 && row < m_groups.size() ? &m_groups[row] : nullptr;
}

void frmNames::showSpellings()
{
    lstSpellings->clear();
    if (const names::Group* g = currentGroup())
        for (const names::Spelling& s : g->spellings) {
            auto* line = new QListWidgetItem(
                QStringLiteral("%1（曲 %2・CD %3）").arg(s.text).arg(s.songs).arg(s.cds),
                lstSpellings);
            line->setData(Qt::UserRole, s.text);
        }
    if (lstSpellings->count() > 0)
        lstSpellings->setCurrentRow(0);
}

QStringList frmNames::spellingsOf(const QVector<int>& groups) const
{
    QStringList out;
    for (int g : groups)
        for (const names::Spelling& s : m_groups[g].spellings)
            out << s.text;
    return out;
}

void frmNames::run(const std::function<void()>& command)
{
    try {
        command();
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    refill();
}

// The groups selected in the list when more than one is, otherwise the
// suggestion chosen; the joined group takes the name used most.
void frmNames::cmdJoin_Click()
{
    QVector<int> chosen;
    for (const QModelIndex& row : grdNames->selectionModel()->selectedRows())
        chosen << row.row();
    if (chosen.size() < 2) {
        const int s = grdSuggestions->currentIndex().row();
        if (s < 0 || s >= m_suggestions.size()) {
            MsgBox(QStringLiteral("まとめる名前を二つ以上選ぶか、候補を一つ選んでください。"));
            return;
        }
        chosen = {m_suggestions[s].first, m_suggestions[s].second};
    }
    int most = chosen.front();
    for (int g : chosen)
        if (m_groups[g].songs + m_groups[g].cds > m_groups[most].songs + m_groups[most].cds)
            most = g;
    const QString name = m_groups[most].name;
    const QStringList spellings = spellingsOf(chosen);
    run([&] { db.JoinNames(spellings, name); });
}

void frmNames::cmdSplit_Click()
{
    const QListWidgetItem* line = lstSpellings->currentItem();
    const names::Group* g = currentGroup();
    if (!line || !g || g->spellings.size() < 2)
        return;
    const QString spelling = line->data(Qt::UserRole).toString();
    run([&] { db.SplitName(spelling); });
}

void frmNames::cmdRename_Click()
{
    const names::Group* g = currentGroup();
    if (!g)
        return;
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("名前を変える"),
                                               QStringLiteral("この名前の呼び方："),
                                               QLineEdit::Normal, g->name, &ok)
                             .trimmed();
    if (!ok || name.isEmpty() || name == g->name)
        return;
    const QStringList spellings = spellingsOf({int(g - m_groups.constData())});
    run([&] { db.JoinNames(spellings, name); });
}

void frmNames::cmdUnify_Click()
{
    const QListWidgetItem* line = lstSpellings->currentItem();
    const names::Group* g = currentGroup();
    if (!line || !g)
        return;
    const QString chosen = line->data(Qt::UserRole).toString();
    const QStringList spellings = spellingsOf({int(g - m_groups.constData())});
    if (MsgBox(QStringLiteral("「%1」の表記をすべて「%2」に書き換えます。\rよろしいですか。")
                   .arg(g->name, chosen),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Question,
               QStringLiteral("この表記に統一"))
        != QMessageBox::Yes)
        return;
    run([&] {
        const names::Rewritten done = db.UnifyNames(spellings, chosen);
        MsgBox(QStringLiteral("曲 %1曲・CD %2枚の表記を「%3」に統一しました。")
                   .arg(done.songs)
                   .arg(done.cds)
                   .arg(chosen));
    });
}
