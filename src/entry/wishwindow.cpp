#include "wishwindow.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "store/findtext.h"
#include "widgets/msgbox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int PriceColumn = 5;

// A price sorts as a number, not as its text.
class PriceItem : public QTableWidgetItem {
public:
    PriceItem(const QString& text, double price) : QTableWidgetItem(text), m_price(price) { }
    bool operator<(const QTableWidgetItem& other) const override
    {
        const auto* price = dynamic_cast<const PriceItem*>(&other);
        return price ? m_price < price->m_price : QTableWidgetItem::operator<(other);
    }

private:
    double m_price;
};

} // namespace

frmWishes::frmWishes(Collection& collection, QWidget* parent) : QDialog(parent), db(collection)
{
    setObjectName(QStringLiteral("frmWishes"));
    setWindowTitle(QStringLiteral("欲しいもの"));
    txtWishFind = new QLineEdit(this);
    txtWishFind->setObjectName(QStringLiteral("txtWishFind"));
    txtWishFind->setPlaceholderText(QStringLiteral("探す（クイック検索と同じ探し方）"));
    txtWishFind->setClearButtonEnabled(true);
    const QStringList& names = wishes::fieldNames();
    grdWishes = new QTableWidget(0, int(names.size()), this);
    grdWishes->setObjectName(QStringLiteral("grdWishes"));
    grdWishes->setHorizontalHeaderLabels(names);
    grdWishes->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdWishes->setSelectionMode(QAbstractItemView::SingleSelection);
    grdWishes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdWishes->horizontalHeader()->setStretchLastSection(true);
    auto* boxes = new QGridLayout;
    for (int i = 0; i < names.size(); ++i) {
        m_txtWish[size_t(i)] = new QLineEdit(this);
        m_txtWish[size_t(i)]->setObjectName(QStringLiteral("txtWish(%1)").arg(i));
        boxes->addWidget(new QLabel(names[i], this), i / 4 * 2, i % 4);
        boxes->addWidget(m_txtWish[size_t(i)], i / 4 * 2 + 1, i % 4);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    const std::pair<const char*, QString> commands[] = {{"cmdWishAdd", QStringLiteral("追加")},
                                                        {"cmdWishSave", QStringLiteral("変更")},
                                                        {"cmdWishDelete", QStringLiteral("削除")},
                                                        {"cmdBought", QStringLiteral("買った")},
                                                        {"cmdClose", QStringLiteral("閉じる")}};
    const std::function<void()> handlers[]
        = {[this] { cmdWishAdd_Click(); }, [this] { cmdWishSave_Click(); },
           [this] { cmdWishDelete_Click(); }, [this] { cmdBought_Click(); }, [this] { close(); }};
    for (int i = 0; i < 5; ++i) {
        auto* button = new QPushButton(commands[i].second, this);
        button->setObjectName(QString::fromLatin1(commands[i].first));
        connect(button, &QPushButton::clicked, this, handlers[i]);
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtWishFind);
    layout->addWidget(grdWishes);
    layout->addLayout(boxes);
    layout->addLayout(buttons);
    resize(860, 480);
    connect(txtWishFind, &QLineEdit::textChanged, this, &frmWishes::refill);
    connect(grdWishes, &QTableWidget::itemSelectionChanged, this, &frmWishes::showChosen);
    connect(&collection, &Collection::wishesChanged, this, &frmWishes::refill);
    connect(&collection, &Collection::changeTakenBack, this, &frmWishes::refill);
    refill();
}

void frmWishes::findText(const QString& typed)
{
    txtWishFind->setText(typed);
}

void frmWishes::refill()
{
    QVector<wishes::Wish> shown;
    try {
        const QStringList words = findWords(txtWishFind->text());
        shown = words.isEmpty() ? db.Wishes() : wishes::matching(db.Wishes(), words);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
    grdWishes->setSortingEnabled(false); // rows filled in place, then sorted once
    grdWishes->clearContents();
    grdWishes->setRowCount(int(shown.size()));
    for (int row = 0; row < shown.size(); ++row) {
        const QStringList texts = wishes::textsOf(shown[row]);
        for (int column = 0; column < texts.size(); ++column) {
            auto* item = column == PriceColumn
                ? new PriceItem(texts[column], shown[row].price.value_or(-1))
                : new QTableWidgetItem(texts[column]);
            item->setData(Qt::UserRole, shown[row].id);
            grdWishes->setItem(row, column, item);
        }
    }
    grdWishes->setSortingEnabled(true);
    grdWishes->resizeColumnsToContents();
}

std::optional<wishes::Wish> frmWishes::chosen() const
{
    const int row = grdWishes->currentRow();
    const QTableWidgetItem* item = row >= 0 ? grdWishes->item(row, 0) : nullptr;
    if (!item || !grdWishes->selectionModel()->isRowSelected(row))
        return std::nullopt;
    const qint64 id = item->data(Qt::UserRole).toLongLong();
    for (const wishes::Wish& w : db.Wishes())
        if (w.id == id)
            return w;
    return std::nullopt;
}

void frmWishes::showChosen()
{
    const std::optional<wishes::Wish> wish = chosen();
    const QStringList texts = wish ? wishes::textsOf(*wish) : QStringList();
    for (int i = 0; i < int(m_txtWish.size()); ++i)
        m_txtWish[size_t(i)]->setText(texts.value(i));
}

std::optional<wishes::Wish> frmWishes::typed()
{
    QStringList texts;
    for (QLineEdit* box : m_txtWish)
        texts << box->text();
    try {
        return wishes::fromTexts(texts);
    } catch (const DbError& e) {
        MsgBox(e.description());
        return std::nullopt;
    }
}

void frmWishes::cmdWishAdd_Click()
{
    const std::optional<wishes::Wish> wish = typed();
    try {
        if (wish)
            db.AddWish(*wish);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmWishes::cmdWishSave_Click()
{
    const std::optional<wishes::Wish> was = chosen();
    std::optional<wishes::Wish> wish = was ? typed() : std::nullopt;
    if (!was)
        MsgBox(QStringLiteral("変更する欲しいものを一覧から選んでください"));
    if (!wish)
        return;
    wish->id = was->id;
    try {
        db.SaveWish(*wish);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmWishes::cmdWishDelete_Click()
{
    const std::optional<wishes::Wish> wish = chosen();
    if (!wish)
        return;
    if (MsgBox(
            QStringLiteral("「%1」を欲しいものから削除します。\rよろしいですか。").arg(wish->title),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Question, QStringLiteral("削除"))
        != QMessageBox::Yes)
        return;
    try {
        db.RemoveWish(wish->id);
    } catch (const DbError& e) {
        MsgBox(e.description());
    }
}

void frmWishes::cmdBought_Click()
{
    if (const std::optional<wishes::Wish> wish = chosen())
        Q_EMIT bought(*wish);
    else
        MsgBox(QStringLiteral("買ったものを一覧から選んでください"));
}
