#include "frminputcd.h"

#include "cdnamedup.h"
#include "store/catalogue.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "store/tables.h"
#include "widgets/databound.h"
#include "widgets/jacketbox.h"
#include "widgets/msgbox.h"
#include "widgets/secondary.h"
#include "widgets/twips.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

namespace {
constexpr int On = 1, Off = 0, Keep = -1;
// The CD's fields in the form's order, as the table names them.
const char16_t* const cdFieldNames[8]
    = {u"CDID", u"CD名", u"発売元", u"購入年月日", u"購入価格", u"解説者", u"キャビネット", u"段"};

QString cdFieldName(int box)
{
    return cdnameTable().column(QString::fromUtf16(cdFieldNames[box])).field.name;
}

void showError(const DbError& e)
{
    MsgBox(e.description());
}
} // namespace

frmInputCD::frmInputCD(Collection& collection, QWidget* parent) : QDialog(parent), db(collection)
{
    setObjectName(QStringLiteral("frmInputCD"));
    setWindowTitle(QStringLiteral("CD登録"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    createControls();
    connectEvents();
    Form_Load();
}

void frmInputCD::createControls()
{
    auto* grid = new QGridLayout;
    for (int i = 0; i < 8; ++i) {
        auto* label = new QLabel(cdFieldName(i), this);
        label->setObjectName(QStringLiteral("lblFieldLabel(%1)").arg(i));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* box = new EntryBox(QStringLiteral("txtInput(%1)").arg(i), this);
        // CD名 is wide; the others narrow, with room for a list or an example beside them.
        box->setMinimumWidth(twips(i == 1 ? 4400 : 2000));
        grid->addWidget(label, i, 0);
        grid->addWidget(box, i, 1, 1, i == 1 ? 2 : 1);
        m_lblFieldLabel[size_t(i)] = label;
        m_txtInput[size_t(i)] = box;
    }
    dcoHatubai = new DataCombo(QStringLiteral("dcoHatubai"), this);
    dcoKaisetu = new DataCombo(QStringLiteral("dcoKaisetu"), this);
    grid->addWidget(dcoHatubai, 2, 2);
    grid->addWidget(dcoKaisetu, 5, 2);
    const std::pair<int, const char16_t*> examples[]
        = {{3, u"(例：  02/1/31) "}, {4, u"(例：  5000) "}};
    for (int k = 0; k < 2; ++k) {
        auto* example = new QLabel(QString::fromUtf16(examples[k].second), this);
        example->setObjectName(QStringLiteral("Label1(%1)").arg(k));
        grid->addWidget(example, examples[k].first, 2);
    }
    // The note below the fields, as wide as they and the jacket together.
    auto* memoLabel = new QLabel(QStringLiteral("メモ"), this);
    memoLabel->setObjectName(QStringLiteral("Label3"));
    memoLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    txtMemo = new QPlainTextEdit(this);
    txtMemo->setObjectName(QStringLiteral("txtMemo"));
    txtMemo->setTabChangesFocus(true);
    txtMemo->setFixedHeight(twips(900));
    grid->addWidget(memoLabel, 8, 0);
    grid->addWidget(txtMemo, 8, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    // The stored CD's jacket, set here as on the main window.
    picJacket = new JacketBox(QStringLiteral("picJacket"), this);
    picJacket->setCollectionFolder(db.strAppPath());
    picJacket->setKeeper([collection = &db](qint64 cdid, const QByteArray& jpeg) {
        collection->ChangeJacket(cdid, jpeg);
    });
    picJacket->setFixedSize(twips(2220), twips(2220));
    grid->addWidget(picJacket, 0, 3, 8, 1, Qt::AlignTop);

    auto* note = new QLabel(entryNote(), this);
    note->setObjectName(QStringLiteral("Label2"));
    note->setWordWrap(true);
    note->setFont(
        QFont(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic")}));

    cmdAdd = entryButton(this, "cmdAdd", QStringLiteral("追加"),
                         QStringLiteral("入力の前にクリック"), 0x00FFFF);
    cmdTeisei = entryButton(this, "cmdTeisei", QStringLiteral("訂正"),
                            QStringLiteral("訂正したあとでクリック"));
    cmdUpdate = entryButton(this, "cmdUpdate", QStringLiteral("確定"), QString(), 0xFFFF00);
    cmdCancel = entryButton(this, "cmdCancel", QStringLiteral("キャンセル"));
    cmdDelete = entryButton(this, "cmdDelete", QStringLiteral("削除"));
    cmdQuit = entryButton(this, "cmdQuit", QStringLiteral("閉じる"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {cmdAdd, cmdTeisei, cmdUpdate, cmdCancel, cmdDelete, cmdQuit})
        buttons->addWidget(b);
    cmdFirst = entryButton(this, "cmdFirst", QStringLiteral("<<"), QString(), 0x80C0FF);
    cmdPrevious = entryButton(this, "cmdPrevious", QStringLiteral("<"), QString(), 0x80C0FF);
    cmdNext = entryButton(this, "cmdNext", QStringLiteral(">"), QString(), 0x80C0FF);
    cmdLast = entryButton(this, "cmdLast", QStringLiteral(">>"), QString(), 0x80C0FF);
    auto* navigation = new QHBoxLayout;
    navigation->addStretch();
    for (QPushButton* b : {cmdFirst, cmdPrevious, cmdNext, cmdLast})
        navigation->addWidget(b);
    navigation->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addWidget(note);
    layout->addLayout(buttons);
    layout->addLayout(navigation);
    setMinimumSize(twips(6210), twips(5820));
    resize(minimumSizeHint().expandedTo(minimumSize()));

    // 削除, キャンセル, 追加, the navigation from the end, 訂正, the boxes, 確定, 閉じる.
    QWidget* order[] = {cmdDelete,   cmdCancel,   cmdAdd,      cmdLast,     cmdNext,
                        cmdPrevious, cmdFirst,    cmdTeisei,   txtInput(0), txtInput(1),
                        txtInput(2), txtInput(3), txtInput(4), txtInput(5), txtInput(6),
                        txtInput(7), txtMemo,     cmdUpdate,   cmdQuit};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void frmInputCD::connectEvents()
{
    connect(cmdAdd, &QPushButton::clicked, this, &frmInputCD::cmdAdd_Click);
    connect(cmdUpdate, &QPushButton::clicked, this, &frmInputCD::cmdUpdate_Click);
    connect(cmdTeisei, &QPushButton::clicked, this, &frmInputCD::cmdTeisei_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmInputCD::cmdCancel_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmInputCD::cmdDelete_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &frmInputCD::cmdQuit_Click);
    connect(cmdFirst, &QPushButton::clicked, this, [this] { navigate(View::Step::First); });
    connect(cmdPrevious, &QPushButton::clicked, this, [this] { navigate(View::Step::Previous); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { navigate(View::Step::Next); });
    connect(cmdLast, &QPushButton::clicked, this, [this] { navigate(View::Step::Last); });
    // A pick from a list is copied into the box beside it; typing in the list is not.
    connect(dcoHatubai, &QComboBox::textActivated, this,
            [this](const QString& text) { txtInput(2)->setText(text); });
    connect(dcoKaisetu, &QComboBox::textActivated, this,
            [this](const QString& text) { txtInput(5)->setText(text); });
    // The jacket follows the stored CD on show; a CD being added has none yet.
    auto followCD = [this] {
        const ViewPtr& cds = db.cds();
        std::optional<qint64> cdid;
        if (cds && cds->isOpen() && cds->editMode() != View::EditMode::Add
            && cds->recordCount() > 0) {
            try {
                const QVariant id = cds->value(QStringLiteral("CDID"));
                if (!id.isNull())
                    cdid = id.toLongLong();
            } catch (const DbError&) {
            }
        }
        picJacket->showCD(cdid);
    };
    connect(txtInput(0), &QLineEdit::textChanged, this, followCD);
    connect(cmdAdd, &QPushButton::clicked, this, followCD);
    followCD();
    connect(&db, &Collection::noteChanged, this, &frmInputCD::refreshMemo);
    connect(&db, &Collection::changeTakenBack, this, &frmInputCD::refreshMemo);
}

// The memo shows the stored note of the CD on show; a CD being added has none yet.
void frmInputCD::refreshMemo()
{
    m_memoShown.clear();
    const ViewPtr& cds = db.cds();
    try {
        if (cds && cds->isOpen() && cds->hasCurrent() && cds->editMode() != View::EditMode::Add) {
            const QVariant id = cds->value(QStringLiteral("CDID"));
            if (!id.isNull())
                m_memoShown = db.Note(id.toLongLong());
        }
    } catch (const DbError&) {
        // notes that cannot be read now show as none; a save says why
    }
    txtMemo->setPlainText(m_memoShown);
}

std::vector<EntryBox*> frmInputCD::boxes() const
{
    return {m_txtInput.begin(), m_txtInput.end()};
}

bool frmInputCD::inAddMode() const
{
    return db.AddingCD();
}

void frmInputCD::setButtons(int add, int update, int cancel, int teisei, int del, int nav)
{
    auto set = [](QPushButton* b, int state) {
        if (state != Keep)
            b->setEnabled(state == On);
    };
    set(cmdAdd, add);
    set(cmdUpdate, update);
    set(cmdCancel, cancel);
    set(cmdTeisei, teisei);
    set(cmdDelete, del);
    for (QPushButton* b : {cmdFirst, cmdPrevious, cmdNext, cmdLast})
        set(b, nav);
}

void frmInputCD::Form_Load()
{
    placeOnScreen(this, 1000);
    try {
        dcoHatubai->setRowSource(db.valueList(Collection::ValueList::Hatubai),
                                 QStringLiteral("発売元"));
        dcoKaisetu->setRowSource(db.valueList(Collection::ValueList::Kaisetu),
                                 QStringLiteral("解説者"));
        for (int i = 0; i < 8; ++i)
            txtInput(i)->bind(db.cds(), lblFieldLabel(i)->text());
        if (const ViewPtr& cds = db.cds()) {
            m_memoFollows[0]
                = connect(cds.get(), &View::currentChanged, this, &frmInputCD::refreshMemo);
            m_memoFollows[1] = connect(cds.get(), &View::didReset, this, &frmInputCD::refreshMemo);
            m_memoFollows[2]
                = connect(cds.get(), &View::rowChanged, this, &frmInputCD::refreshMemo);
        }
        refreshMemo();
        lngLastCDID = db.BeginCDEntry();
        if (need(db.cds()).recordCount() > 0) {
            db.cds()->moveLast();
            setButtons(On, Off, Off, On, On, On);
        } else {
            setButtons(On, Off, Off, Off, Off, Off);
        }
    } catch (const DbError& e) {
        showError(e);
        setButtons(Off, Off, Off, Off, Off, Off);
    }
}

void frmInputCD::navigate(View::Step move)
{
    if (refusedWhileAdding(inAddMode()))
        return;
    try {
        need(db.cds()).step(move);
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputCD::cmdAdd_Click()
{
    try {
        View& v = need(db.cds());
        v.addNew();
        lngLastCDID = db.NewCDID();
        v.setValue(QStringLiteral("CDID"), lngLastCDID);
        setButtons(Off, On, On, Off, Keep, Keep);
        txtInput(1)->setFocus();
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputCD::addFilledIn(const QHash<QString, QString>& texts)
{
    cmdAdd->click();
    if (!inAddMode())
        return;
    for (int i = 0; i < 8; ++i)
        if (const auto text = texts.constFind(QString::fromUtf16(cdFieldNames[i]));
            text != texts.cend())
            txtInput(i)->setText(*text);
}

bool frmInputCD::titleMissing()
{
    const QString refusal = catalogue::cdTitleRefusal(txtInput(1)->text());
    if (refusal.isEmpty())
        return false;
    MsgBox(refusal, QMessageBox::Ok, QMessageBox::Critical, QStringLiteral("入力エラー"));
    return true;
}

// Writes what the boxes hold into the current CD; a refusal leaves the
// boxes as typed.
void frmInputCD::saveCurrent(bool correction)
{
    View& cds = need(db.cds());
    const std::vector<EntryBox*> all = boxes();
    const std::vector<TypedValue> typed = readChangedBoxes(cds, all);
    const QStringList texts = boxTexts(all);
    const QString memo = txtMemo->toPlainText();
    try {
        // the note goes with the CD, in the same change
        db.SaveCD(typed, correction, memo);
    } catch (const DbError&) {
        restoreBoxTexts(all, texts);
        txtMemo->setPlainText(memo);
        throw;
    }
}

void frmInputCD::cmdUpdate_Click()
{
    try {
        if (titleMissing())
            return;
        if (CheckCDNameDup(db, txtInput(1)))
            return;
        saveCurrent(false);
        RefreshCDLists();
        setButtons(On, Off, Off, On, On, On);
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputCD::cmdTeisei_Click()
{
    try {
        if (titleMissing())
            return;
        saveCurrent(true);
        RefreshCDLists();
        MsgBox(QStringLiteral("訂正されました"));
        setButtons(On, Off, Off, On, On, Keep);
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputCD::RefreshCDLists()
{
    db.ReopenValueList(Collection::ValueList::Hatubai);
    dcoHatubai->setRowSource(db.valueList(Collection::ValueList::Hatubai),
                             QStringLiteral("発売元"));
    db.ReopenValueList(Collection::ValueList::Kaisetu);
    dcoKaisetu->setRowSource(db.valueList(Collection::ValueList::Kaisetu),
                             QStringLiteral("解説者"));
}

void frmInputCD::cmdCancel_Click()
{
    try {
        View& v = need(db.cds());
        if (v.editMode() != View::EditMode::Add)
            return;
        lngLastCDID = db.GiveBackCDID(lngLastCDID);
        v.cancelUpdate();
        if (v.recordCount() > 0) {
            v.moveLast();
            setButtons(On, Off, Off, On, Keep, Keep);
        } else {
            // the first CD of an empty collection given up: the form is empty again
            setButtons(On, Off, Off, Off, Off, Off);
        }
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputCD::cmdDelete_Click()
{
    if (refusedWhileAdding(inAddMode()))
        return;
    try {
        View& cds = need(db.cds());
        if (!cds.hasCurrent())
            return;
        if (const QString refusal = catalogue::deleteCDRefusal(cds); !refusal.isEmpty()) {
            MsgBox(refusal, QMessageBox::Ok, QMessageBox::Critical);
            return;
        }
        // a CD lent out is asked about first: its loan goes with it
        const auto loan = db.Loans().constFind(cds.value(QStringLiteral("CDID")).toLongLong());
        if (loan != db.Loans().cend()
            && MsgBox(QStringLiteral("このCDは %1 さんに貸出中です（%2 から）。\r削除すると貸出の記"
                                     "録も消えます。削除しますか？")
                          .arg(loan->to, loan->lent.toString(QStringLiteral("yyyy/MM/dd"))),
                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Question,
                      QStringLiteral("削除"))
                != QMessageBox::Yes)
            return;
        if (MsgBox(QStringLiteral("表示中のCDを削除します。\rよろしいですか。"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Question,
                   QStringLiteral("削除"))
            != QMessageBox::Yes)
            return;
        // Songs belong to every CD of their title: while another CD bears it,
        // they stay with that CD.
        View& songs = need(db.songsOfCD());
        const int n = catalogue::songsGoingWithCurrentCD(db.connection(), cds, songs);
        if (n > 0
            && MsgBox(QStringLiteral("削除しようとしているCDには曲が%1曲含まれています。\r\r"
                                     "CDを削除するとこれらの曲も削除されます。\r\r削除しますか？")
                          .arg(n),
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Question)
                != QMessageBox::Ok)
            return;
        db.DeleteCurrentCD();
    } catch (const DbError& e) {
        showError(e);
    }
}

void frmInputCD::cmdQuit_Click()
{
    if (refusedWhileAdding(inAddMode()))
        return;
    close();
}

// Closed by the window frame in add mode, the pending CD is given up: nothing
// half-entered is stored, and the number goes back.
void frmInputCD::closeEvent(QCloseEvent* event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        if (inAddMode())
            cmdCancel_Click();
        Form_Unload();
    }
    event->accept();
}

void frmInputCD::Form_Unload()
{
    for (EntryBox* box : boxes())
        box->bind(nullptr, QString());
    for (auto& c : m_memoFollows)
        disconnect(c);
    Q_EMIT closedDataChanged();
}
