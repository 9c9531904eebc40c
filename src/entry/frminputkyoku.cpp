#include "frminputkyoku.h"

#include "store/catalogue.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "store/tables.h"
#include "widgets/containscompleter.h"
#include "widgets/databound.h"
#include "widgets/msgbox.h"
#include "widgets/secondary.h"
#include "widgets/twips.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
// Box i (1 to 14) takes the song's field i of the table: every field after CD名, in order.
QString songFieldName(int box)
{
    return kyokuTable().columns().at(box).field.name;
}
// DataCombo1(k) fills box comboBox[k]; its list is the value list of the same field.
constexpr int comboBox[6] = {3, 4, 5, 6, 7, 14};

void showError(const DbError& e)
{
    MsgBox(e.description());
}
} // namespace

frmInputKyoku::frmInputKyoku(Collection& collection, QWidget* parent)
    : QDialog(parent), db(collection)
{
    setObjectName(QStringLiteral("frmInputKyoku"));
    setWindowTitle(QStringLiteral("曲登録"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    createControls();
    connectEvents();
    Form_Load();
}

frmInputKyoku::~frmInputKyoku() = default;

void frmInputKyoku::createControls()
{
    auto* fields = new QGridLayout;
    auto addRow = [&](int row, QWidget* label, QWidget* box, QWidget* beside) {
        fields->addWidget(label, row, 0);
        fields->addWidget(box, row, 1, 1, beside ? 1 : 2);
        if (beside)
            fields->addWidget(beside, row, 2);
    };
    auto makeLabel = [this](const QString& text, const QString& name) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return label;
    };
    for (int k = 0; k < 6; ++k)
        m_dataCombo1[size_t(k)] = new DataCombo(QStringLiteral("DataCombo1(%1)").arg(k), this);
    dcoCDName = new QComboBox(this);
    dcoCDName->setObjectName(QStringLiteral("dcoCD名"));
    dcoCDName->setEditable(true);
    dcoCDName->setInsertPolicy(QComboBox::NoInsert);
    dcoCDName->setMaxVisibleItems(20);
    offerEntriesContainingTyped(dcoCDName);
    int row = 0;
    for (int i = 1; i <= 14; ++i) {
        auto* label = makeLabel(songFieldName(i), QStringLiteral("lblFieldLabel(%1)").arg(i + 6));
        auto* box = new EntryBox(QStringLiteral("txtrsSub(%1)").arg(i), this);
        box->setMinimumWidth(twips(i == 2 ? 5200 : 2600));
        m_txtrsSub[size_t(i - 1)] = box;
        m_lblFieldLabel[size_t(i - 1)] = label;
        QWidget* beside = nullptr;
        for (int k = 0; k < 6; ++k)
            if (comboBox[k] == i)
                beside = DataCombo1(k);
        addRow(row++, label, box, beside);
        if (i == 1) // the CD chooser: between 曲ID and 曲名
            addRow(row++, makeLabel(QStringLiteral("ＣＤ名"), QStringLiteral("Label3")), dcoCDName,
                   nullptr);
    }
    fields->setColumnStretch(1, 2);
    fields->setColumnStretch(2, 1);

    auto* note = new QLabel(entryNote(), this);
    note->setObjectName(QStringLiteral("Label2"));
    note->setWordWrap(true);
    note->setFont(
        QFont(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic")}));
    cmdMasterAdd = entryButton(this, "cmdMasterAdd", QStringLiteral("追加"),
                               QStringLiteral("入力前にクリック"), 0x00FFFF);
    cmdTeisei = entryButton(this, "cmdTeisei", QStringLiteral("訂正"),
                            QStringLiteral("訂正したあとでクリック"));
    cmdMasterUpdate
        = entryButton(this, "cmdMasterUpdate", QStringLiteral("確定"), QString(), 0xFFFF00);
    cmdMasterUpdate->setMinimumHeight(twips(700));
    cmdMasterCancel = entryButton(this, "cmdMasterCancel", QStringLiteral("キャンセル"));
    cmdDelete = entryButton(this, "cmdDelete", QStringLiteral("削除"));
    Command1 = entryButton(this, "Command1", QStringLiteral("閉じる"));
    auto* right = new QVBoxLayout;
    right->addWidget(note);
    for (QPushButton* b :
         {cmdMasterAdd, cmdTeisei, cmdMasterUpdate, cmdMasterCancel, cmdDelete, Command1})
        right->addWidget(b);
    right->addStretch();
    cmd1copy = entryButton(this, "cmd1copy",
                           QStringLiteral("直前行を現在行にコピー＆ペースト（曲IDを除く）"),
                           QString(), 0x80FF80);
    right->addWidget(cmd1copy);

    auto* top = new QHBoxLayout;
    top->addLayout(fields, 3);
    top->addLayout(right, 1);

    dgdSub = new DataGrid(QStringLiteral("dgdSub"), this);
    dgdSub->setMinimumHeight(twips(2200));
    QFont gothic(QStringList{QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic")});
    auto* navigation = new QHBoxLayout;
    navigation->addStretch();
    const std::pair<QPushButton**, std::pair<const char*, const char16_t*>> navs[] = {
        {&cmdTop, {"cmdTop", u"≪"}},
        {&cmdPrevious, {"cmdPrevious", u"＜"}},
        {&cmdNext, {"cmdNext", u"＞"}},
        {&cmdLast, {"cmdLast", u"≫"}},
    };
    for (const auto& [button, names] : navs) {
        *button = entryButton(this, names.first, QString::fromUtf16(names.second));
        (*button)->setFont(gothic);
        navigation->addWidget(*button);
    }
    navigation->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(dgdSub, 1);
    layout->addLayout(navigation);
    setMinimumSize(twips(10560), twips(8940));
    resize(minimumSizeHint().expandedTo(minimumSize()));

    // The chooser, キャンセル, 追加, 訂正, 削除, the boxes, 確定, 閉じる, the copy, then
    // ＞ ＜ ≪ ≫.
    std::vector<QWidget*> order{dcoCDName, cmdMasterCancel, cmdMasterAdd, cmdTeisei, cmdDelete};
    for (int i = 1; i <= 14; ++i)
        order.push_back(txtrsSub(i));
    for (QWidget* w : {static_cast<QWidget*>(cmdMasterUpdate), static_cast<QWidget*>(Command1),
                       static_cast<QWidget*>(cmd1copy), static_cast<QWidget*>(cmdNext),
                       static_cast<QWidget*>(cmdPrevious), static_cast<QWidget*>(cmdTop),
                       static_cast<QWidget*>(cmdLast)})
        order.push_back(w);
    for (size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void frmInputKyoku::connectEvents()
{
    connect(cmdMasterAdd, &QPushButton::clicked, this, &frmInputKyoku::cmdMasterAdd_Click);
    connect(cmdMasterUpdate, &QPushButton::clicked, this, &frmInputKyoku::cmdMasterUpdate_Click);
    connect(cmdTeisei, &QPushButton::clicked, this, &frmInputKyoku::cmdTeisei_Click);
    connect(cmdMasterCancel, &QPushButton::clicked, this, &frmInputKyoku::cmdMasterCancel_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmInputKyoku::cmdDelete_Click);
    connect(Command1, &QPushButton::clicked, this, &frmInputKyoku::Command1_Click);
    connect(cmd1copy, &QPushButton::clicked, this, &frmInputKyoku::cmd1copy_Click);
    connect(cmdTop, &QPushButton::clicked, this, [this] { navigate(View::Step::First); });
    connect(cmdPrevious, &QPushButton::clicked, this, [this] { navigate(View::Step::Previous); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { navigate(View::Step::Next); });
    connect(cmdLast, &QPushButton::clicked, this, [this] { navigate(View::Step::Last); });
    for (int k = 0; k < 6; ++k)
        connect(DataCombo1(k), &QComboBox::textActivated, this,
                [this, k](const QString& text) { txtrsSub(comboBox[k])->setText(text); });
    connect(dgdSub, &DataGrid::moveFailed, this, [](const QString& text) { MsgBox(text); });
}

std::vector<EntryBox*> frmInputKyoku::boxes() const
{
    return {m_txtrsSub.begin(), m_txtrsSub.end()};
}

bool frmInputKyoku::inAddMode() const
{
    return db.AddingKyoku();
}

void frmInputKyoku::setButtons(bool browse)
{
    cmdMasterAdd->setEnabled(browse);
    cmdMasterUpdate->setEnabled(!browse);
    cmdMasterCancel->setEnabled(!browse);
    cmdTeisei->setEnabled(browse);
    cmdDelete->setEnabled(browse);
    // A click in the grid would move off the pending song: the grid waits
    // until the new song is stored or given up.
    dgdSub->setEnabled(browse);
}

void frmInputKyoku::Form_Load()
{
    placeOnScreen(this, 1000);
    try {
        rsCDChoice = std::make_shared<View>();
        rsCDChoice->open(catalogue::cdChoiceFields(),
                         [this] { return catalogue::readCDChoices(db.connection()); });
        for (int i = 1; i <= 14; ++i)
            txtrsSub(i)->bind(db.songs(), lblFieldLabel(i + 6)->text());
        lngLastKyokuID = db.BeginKyokuEntry();
        if (need(db.songs()).recordCount() > 0)
            db.songs()->moveLast();
        setButtons(true);
        dgdSub->setDataSource(db.songs());
        QStringList titles;
        for (int r = 0; r < rsCDChoice->recordCount(); ++r)
            titles << rsCDChoice->valueAt(r, 1).toString();
        dcoCDName->addItems(titles);
        showChosenCD();
        // The chooser names the CD of the song on show, wherever the song view
        // moves (a click in the grid too), so that 訂正 never moves a song to
        // another CD by accident. A pending new song keeps the CD chosen before.
        m_follow = connect(db.songs().get(), &View::currentChanged, this, [this] {
            if (!inAddMode())
                showChosenCD();
        });
    } catch (const DbError& e) {
        showError(e);
    }
    SetcmbListKyoku();
}

void frmInputKyoku::showChosenCD()
{
    const View* songs = db.songs().get();
    dcoCDName->setEditText(songs && songs->isOpen() && songs->hasCurrent()
                               ? songs->value(QStringLiteral("CD名")).toString()
                               : QString());
}

namespace {

// The value lists of the six combo boxes, in their order.
constexpr Collection::ValueList songLists[6]
    = {Collection::ValueList::Sakkyoku, Collection::ValueList::Henkyoku,
       Collection::ValueList::Shikisya, Collection::ValueList::Ensou,
       Collection::ValueList::Sorisuto, Collection::ValueList::Bunya};

} // namespace

void frmInputKyoku::SetcmbListKyoku()
{
    for (int k = 0; k < 6; ++k) {
        try {
            DataCombo1(k)->setRowSource(db.valueList(songLists[k]), songFieldName(comboBox[k]));
        } catch (const DbError& e) {
            showError(e); // the other lists are still bound
        }
    }
}

void frmInputKyoku::RefreshKyokuLists()
{
    for (Collection::ValueList list : songLists)
        db.ReopenValueList(list);
}

void frmInputKyoku::navigate(View::Step move)
{
    if (refusedWhileAdding(inAddMode()))
        return;
    try {
        need(db.songs()).step(move);
        showChosenCD();
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputKyoku::cmdMasterAdd_Click()
{
    try {
        View& v = need(db.songs());
        setButtons(false); // first: the chooser keeps its CD while the new row comes
        v.addNew();
        lngLastKyokuID = db.NewKyokuID();
        v.setValue(QStringLiteral("曲ID"), lngLastKyokuID);
        dcoCDName->setFocus();
    } catch (const DbError& e) {
        setButtons(true);
        showError(e);
    }
}

// Says so, and points at the chooser, when no stored CD bears the title.
bool frmInputKyoku::chosenCDUnknown(const QString& title)
{
    try {
        catalogue::requireStoredTitle(db.connection(), title);
        return false;
    } catch (const DbError& e) {
        if (e.number() != catalogue::RefusedTitle)
            throw;
        MsgBox(e.description(), QMessageBox::Ok, QMessageBox::Warning);
        dcoCDName->setFocus();
        return true;
    }
}

// Writes the chooser's CD and the changed boxes into the current song; a
// refusal leaves the boxes as typed.
void frmInputKyoku::saveCurrent()
{
    View& songs = need(db.songs());
    const std::vector<EntryBox*> all = boxes();
    const std::vector<TypedValue> typed = readChangedBoxes(songs, all);
    const QStringList texts = boxTexts(all);
    const QString chosen = dcoCDName->currentText();
    try {
        db.SaveKyoku(chosen, typed);
    } catch (const DbError&) {
        restoreBoxTexts(all, texts);
        dcoCDName->setEditText(chosen);
        throw;
    }
}

void frmInputKyoku::cmdMasterUpdate_Click()
{
    try {
        const QString chosen = dcoCDName->currentText();
        for (const QString& refusal :
             {catalogue::chosenCDRefusal(chosen), catalogue::songTitleRefusal(txtrsSub(2)->text())})
            if (!refusal.isEmpty()) {
                MsgBox(refusal, QMessageBox::Ok, QMessageBox::Warning);
                return;
            }
        if (chosenCDUnknown(chosen))
            return;
        saveCurrent();
        RefreshKyokuLists();
        SetcmbListKyoku();
        setButtons(true);
        db.songs()->moveLast();
        showChosenCD();
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputKyoku::cmdTeisei_Click()
{
    try {
        const QString chosen = dcoCDName->currentText();
        if (const QString refusal = catalogue::chosenCDRefusal(chosen); !refusal.isEmpty()) {
            MsgBox(refusal, QMessageBox::Ok, QMessageBox::Critical, QStringLiteral("エラー"));
            return;
        }
        if (!need(db.songs()).hasCurrent())
            return;
        if (chosenCDUnknown(chosen))
            return;
        saveCurrent();
        MsgBox(QStringLiteral("訂正されました"));
        RefreshKyokuLists();
        SetcmbListKyoku();
        setButtons(true);
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputKyoku::cmdMasterCancel_Click()
{
    try {
        View& v = need(db.songs());
        if (v.editMode() != View::EditMode::Add)
            return;
        lngLastKyokuID = db.GiveBackKyokuID(lngLastKyokuID);
        v.cancelUpdate();
        setButtons(true);
        showChosenCD();
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputKyoku::cmdDelete_Click()
{
    try {
        View& songs = need(db.songs());
        if (!songs.hasCurrent())
            return; // no song stored: nothing to delete
        if (const QString refusal = catalogue::deleteSongRefusal(songs); !refusal.isEmpty()) {
            MsgBox(refusal, QMessageBox::Ok, QMessageBox::Critical);
            return;
        }
        if (MsgBox(QStringLiteral("表示中の曲を削除します。\rよろしいですか。"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Question,
                   QStringLiteral("削除"))
            != QMessageBox::Yes)
            return;
        db.DeleteCurrentKyoku();
        showChosenCD();
    } catch (const DbError& e) {
        showError(e);
    }
}

// Fills the pending new song with the song before it: its CD and every field
// from 曲名 to 分野; the new 曲ID stays. The values go straight into the new
// row, so the user's clipboard is left alone.
void frmInputKyoku::cmd1copy_Click()
{
    try {
        View& songs = need(db.songs());
        if (songs.editMode() != View::EditMode::Add) {
            MsgBox(QStringLiteral("直前行のコピーは、追加ボタンをクリックしてから使ってください"),
                   QMessageBox::Ok, QMessageBox::Warning);
            return;
        }
        if (songs.position() < 1) {
            MsgBox(QStringLiteral("コピーする直前の行がありません"), QMessageBox::Ok,
                   QMessageBox::Warning);
            return;
        }
        dcoCDName->setEditText(catalogue::copySongBefore(songs));
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputKyoku::Command1_Click()
{
    close();
}

void frmInputKyoku::closeEvent(QCloseEvent* event)
{
    if (inAddMode()) {
        refusedWhileAdding(inAddMode());
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void frmInputKyoku::Form_Unload()
{
    disconnect(m_follow);
    if (rsCDChoice) {
        rsCDChoice->close();
        rsCDChoice.reset();
    }
    dgdSub->setDataSource(nullptr);
    for (EntryBox* box : boxes())
        box->bind(nullptr, QString());
    Q_EMIT closedDataChanged();
}
