#include "entry/frminputcd.h"
#include "entry/frminputkyoku.h"
#include "mainui.h"
#include "testsupport.h"
#include "widgets/msgbox.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QCompleter>
#include <QPlainTextEdit>
#include <QSqlQuery>

namespace {

const QString indy = u"ダンディ：フランス山人の歌による交響曲 (d'Indy)"_s;
const QString fifth = u"ベートーヴェン：交響曲第5番"_s;
const QString bach = u"バッハ：ゴルトベルク変奏曲"_s;
const QString wait = u"確定か、キャンセルをクリックしてからにしてください"_s;
const QString corrected = u"訂正されました"_s;

void writeSample(const QString& folder)
{
    const QVariantMap beethoven{{u"作曲者名"_s, u"ベートーヴェン"_s}};
    writeCollection(folder,
                    {cd(1, fifth, {{u"発売元"_s, u"ポリドール"_s}, {u"購入価格"_s, 2800}}),
                     cd(2, indy, {{u"発売元"_s, u"エラート"_s}}), cd(3, bach), cd(4, bach)},
                    {song(fifth, 1, u"第1楽章"_s,
                          {{u"指揮者名"_s, u"カラヤン"_s}, {u"演奏団体"_s, u"ベルリン・フィル"_s}}),
                     song(fifth, 2, u"第2楽章"_s, beethoven),
                     song(indy, 3, u"第1楽章"_s, {{u"作曲者名"_s, u"ダンディ"_s}}),
                     song(fifth, 4, u"第3楽章"_s, beethoven),
                     song(bach, 5, u"アリア"_s, {{u"作曲者名"_s, u"バッハ"_s}})});
}

QStringList stored(const QString& table, const QString& column)
{
    return readColumn(QDir::currentPath(), table, column);
}

// Clicks the button, answering the boxes it opens with `answers` in order,
// and returns what they said; an answer left over is reported as a box that
// never came.
QStringList clicking(QPushButton* button, const QList<QMessageBox::StandardButton>& answers = {})
{
    MsgBoxSetNextAnswers(answers);
    button->click();
    QStringList texts = answeredTexts();
    if (MsgBoxPendingAnswers() > 0)
        texts << u"(an answer left for a box that never came)"_s;
    MsgBoxSetNextAnswers({});
    return texts;
}

// Opens a form through the main window, as a user does, and runs `steps` on
// it while it is shown modally. Whatever is still shown modally after ten
// seconds is hidden, which ends it, and counts as a failure.
template <typename Form, typename F> bool drive(QAction* action, F&& steps)
{
    bool done = false;
    QTimer poll, watchdog;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* form = qobject_cast<Form*>(QApplication::activeModalWidget())) {
            poll.stop();
            steps(form);
            done = true;
        }
    });
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->hide();
    });
    poll.start(20);
    watchdog.start(10000);
    action->trigger();
    return done && watchdog.isActive() && !QApplication::activeModalWidget();
}

QtMessageHandler passOn = nullptr;
bool unanswered = false;

} // namespace

class TestEntry : public MainWindowTest {
    Q_OBJECT
private slots:
    // A box no test answered is closed by the test support after a few seconds,
    // with a warning: the test then fails instead of being held.
    void init()
    {
        MainWindowTest::init();
        unanswered = false;
        passOn = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& where, const QString& text) {
                unanswered = unanswered || text.startsWith(u"unanswered message box"_s);
                passOn(type, where, text);
            });
    }

    void cleanup()
    {
        qInstallMessageHandler(passOn);
        MainWindowTest::cleanup();
        QVERIFY2(!unanswered, "a message box came that the test did not expect");
    }

    // An empty collection: 追加 takes the next number and キャンセル gives it
    // back; numbers past 32767 are handed out as they are; the song form has no
    // song before the first to copy.
    void numbersAreHandedOutAndGivenBack()
    {
        start(false);
        {
            frmInputCD form(m_w->db, m_w);
            form.cmdAdd->click();
            form.cmdCancel->click(); // the form is empty again
            form.cmdAdd->click();
            QCOMPARE(form.txtInput(0)->text(), u"1"_s);
            form.txtInput(1)->setText(indy);
            QCOMPARE(clicking(form.cmdUpdate), QStringList());
            form.cmdAdd->click();
            form.cmdCancel->click();
            QCOMPARE(form.txtInput(0)->text(), u"1"_s); // back on the stored CD
            form.cmdAdd->click();
            QCOMPARE(form.txtInput(0)->text(), u"2"_s);
            form.cmdCancel->click();
        }
        frmInputKyoku songs(m_w->db, m_w);
        songs.cmdMasterAdd->click();
        QCOMPARE(refusal(songs.cmd1copy), u"コピーする直前の行がありません"_s);
        songs.cmdMasterCancel->click();
        writeCollection(m_folder->path(), {cd(40000, u"大きな番号のCD"_s)}, {});
        m_w->reset();
        frmInputCD form(m_w->db, m_w);
        form.cmdAdd->click();
        form.txtInput(1)->setText(u"次のCD"_s);
        QCOMPARE(clicking(form.cmdUpdate), QStringList());
        QCOMPARE(stored(u"cdname"_s, u"CDID"_s), (QStringList{u"1"_s, u"40000"_s, u"40001"_s}));
    }

    // A title already stored, letter case aside, is asked about; a correction is not.
    void duplicateTitleIsAsked()
    {
        start();
        frmInputCD form(m_w->db, m_w);
        form.cmdAdd->click();
        form.txtInput(1)->setText(indy.toUpper());
        const QStringList asked{u"氏名が重複しています。\n\n同ＣＤ名として登録しますか？"_s};
        QCOMPARE(clicking(form.cmdUpdate, {QMessageBox::No}), asked);
        QVERIFY(form.inAddMode());
        QCOMPARE(clicking(form.cmdUpdate, {QMessageBox::Yes}), asked);
        QCOMPARE(stored(u"cdname"_s, u"CD名"_s).last(), indy.toUpper());
        form.txtInput(1)->setText(fifth);
        QCOMPARE(clicking(form.cmdTeisei, {QMessageBox::Ok}), QStringList{corrected});
    }

    // Whether adding or correcting, a text the field cannot take, a file
    // another program holds or a refusal while writing stops the save with a
    // message: the form keeps its
    // mode, its number and the typing, and the file is as it was.
    void refusedSavesKeepTheTyping()
    {
        start();
        frmInputCD form(m_w->db, m_w);
        const struct {
            bool adding;
            int box;
            QString typed, said;
        } refusals[] = {{true, 3, u"02/13/45"_s, u"購入年月日"_s},
                        {true, 2, u"ロック中の発売元"_s, u"使用中"_s},
                        {false, 2, u"拒まれる発売元"_s, u"refused"_s}};
        for (const auto& r : refusals) {
            if (r.adding)
                form.cmdAdd->click();
            form.txtInput(1)->setText(u"新しいCD"_s);
            form.txtInput(r.box)->setText(r.typed);
            form.txtMemo->setPlainText(u"途中のメモ"_s);
            QStringList said;
            QByteArray before;
            {
                QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other"_s);
                other.setDatabaseName(m_w->db.databasePath());
                QVERIFY(other.open());
                QVERIFY(QSqlQuery(other).exec(r.adding ? u"BEGIN IMMEDIATE"_s
                                                       : u"CREATE TRIGGER refuse BEFORE UPDATE ON "
                                                         u"cdname BEGIN SELECT RAISE(ABORT, "
                                                         u"'refused'); END"_s));
                before = fileRows();
                said = clicking(r.adding ? form.cmdUpdate : form.cmdTeisei, {QMessageBox::Ok});
            }
            QSqlDatabase::removeDatabase(u"other"_s);
            QVERIFY2(said.size() == 1 && said[0].contains(r.said) && form.inAddMode() == r.adding
                         && (r.box == 2 || said[0].contains(r.typed)),
                     qPrintable(said.join(u'/')));
            QCOMPARE(form.txtInput(0)->text() + form.txtInput(1)->text()
                         + form.txtInput(r.box)->text() + form.txtMemo->toPlainText(),
                     (r.adding ? u"5新しいCD"_s : u"4新しいCD"_s) + r.typed + u"途中のメモ"_s);
            QCOMPARE(fileRows(), before);
            form.cmdCancel->click();
        }
    }

    // The memo shows the note of the CD on show, and none for one being added;
    // it is saved with the CD in one change, emptied it takes the note away;
    // the main window shows the note of its current CD on one line.
    void notesSavedWithTheCdAndShown()
    {
        start();
        frmInputCD form(m_w->db, m_w);
        auto* shown = named<QLabel>(m_w, u"lblMemo"_s);
        const auto notes = [] {
            return sqlRows(db().databasePath(),
                           {u"SELECT CDID || ':' || メモ FROM cdnote ORDER BY CDID"_s});
        };
        form.cmdFirst->click(); // the fifth symphony, CD 1
        QCOMPARE(form.txtMemo->toPlainText(), QString());
        form.txtMemo->setPlainText(u"帯付き\n初回盤"_s);
        QCOMPARE(clicking(form.cmdTeisei, {QMessageBox::Ok}), QStringList{corrected});
        QCOMPARE(notes(), QStringList{u"1:帯付き\n初回盤"_s});
        QCOMPARE(db().History().first().kind, u"メモ"_s); // nothing else changed
        QCOMPARE(shown->text() + u'|' + shown->toolTip(), u"帯付き / 初回盤|帯付き\n初回盤"_s);
        form.cmdNext->click();
        QCOMPARE(form.txtMemo->toPlainText() + shown->text(), QString());
        form.cmdPrevious->click();
        QCOMPARE(form.txtMemo->toPlainText(), u"帯付き\n初回盤"_s);
        // added with its note: one change, taken back as one
        form.cmdAdd->click();
        QCOMPARE(form.txtMemo->toPlainText(), QString());
        form.txtInput(1)->setText(u"新しいCD"_s);
        form.txtMemo->setPlainText(u"中古で購入"_s);
        QCOMPARE(clicking(form.cmdUpdate), QStringList());
        QCOMPARE(notes(), (QStringList{u"1:帯付き\n初回盤"_s, u"5:中古で購入"_s}));
        QCOMPARE(db().History().first().kind + shown->text(), u"CDの追加中古で購入"_s);
        db().Undo();
        QCOMPARE(notes(), QStringList{u"1:帯付き\n初回盤"_s});
        // a title corrected with the note emptied: one change
        form.cmdFirst->click();
        form.txtInput(1)->setText(fifth + u" (1962)"_s);
        form.txtMemo->setPlainText(u" \n"_s);
        QCOMPARE(clicking(form.cmdTeisei, {QMessageBox::Ok}), QStringList{corrected});
        QCOMPARE(notes(), QStringList());
        QCOMPARE(db().History().first().kind + shown->text() + form.txtMemo->toPlainText(),
                 u"CDの修正"_s);
        db().Undo(); // all data on show again, the last CD current
        QCOMPARE(notes(), QStringList{u"1:帯付き\n初回盤"_s});
        form.cmdFirst->click();
        QCOMPARE(form.txtMemo->toPlainText() + u'|' + shown->text(),
                 u"帯付き\n初回盤|帯付き / 初回盤"_s);
    }

    // The CD's songs go with it, after a second question naming how many; while
    // another CD bears the title they stay, unasked; the last CD is never deleted.
    void deletingACdAsksAboutItsSongs()
    {
        start();
        frmInputCD form(m_w->db, m_w);
        form.cmdFirst->click(); // the fifth symphony, with three songs
        const QString sure = u"表示中のCDを削除します。\nよろしいですか。"_s;
        const QString songs = u"削除しようとしているCDには曲が%1曲含まれています。\n\n"
                              u"CDを削除するとこれらの曲も削除されます。\n\n削除しますか？"_s;
        // a CD lent out is asked about first
        const qint64 fifth = form.txtInput(0)->text().toLongLong();
        m_w->db.Lend(loans::lending(fifth, u"山田"_s, QDate(2026, 1, 5)));
        QCOMPARE(
            clicking(form.cmdDelete, {QMessageBox::No}),
            QStringList{u"このCDは 山田 さんに貸出中です（2026/01/05 から）。\n削除すると貸出の"
                        u"記録も消えます。削除しますか？"_s});
        m_w->db.GiveBack(fifth, QDate(2026, 1, 6));
        QCOMPARE(clicking(form.cmdDelete, {QMessageBox::No}), QStringList{sure});
        QCOMPARE(clicking(form.cmdDelete, {QMessageBox::Yes, QMessageBox::Cancel}),
                 (QStringList{sure, songs.arg(3)}));
        QCOMPARE(clicking(form.cmdDelete, {QMessageBox::Yes, QMessageBox::Ok}).size(), 2);
        // the last CD is shown
        QCOMPARE(stored(u"kyoku"_s, u"曲ID"_s).join(u',') + form.txtInput(0)->text(), u"3,54"_s);
        // CD 3 keeps them
        QCOMPARE(clicking(form.cmdDelete, {QMessageBox::Yes}), QStringList{sure});
        form.cmdFirst->click(); // d'Indy, with one song
        QCOMPARE(clicking(form.cmdDelete, {QMessageBox::Yes, QMessageBox::Ok}),
                 (QStringList{sure, songs.arg(1)}));
        QCOMPARE(refusal(form.cmdDelete), u"このCDは削除できません。訂正してください！"_s);
        QCOMPARE(stored(u"cdname"_s, u"CDID"_s) + stored(u"kyoku"_s, u"曲ID"_s),
                 (QStringList{u"3"_s, u"5"_s}));
    }

    // While a CD is being added nothing else is done; closed by the window frame
    // the CD is given up with its number; the song form will not close then.
    void addModeGuardsAndFrameClose()
    {
        start();
        const QByteArray before = fileRows();
        QPointer<frmInputCD> form = new frmInputCD(m_w->db, m_w);
        form->show();
        form->cmdAdd->click();
        form->txtInput(1)->setText(u"途中のCD"_s);
        for (QPushButton* b : {form->cmdNext, form->cmdDelete, form->cmdQuit})
            QCOMPARE(clicking(b, {QMessageBox::Ok}), QStringList{wait});
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form);
        QVERIFY(fileRows() == before && frmInputCD(m_w->db, m_w).lngLastCDID == 4);
        auto* songs = new frmInputKyoku(m_w->db, m_w);
        songs->show();
        songs->cmdMasterAdd->click();
        QCOMPARE(clicking(songs->Command1, {QMessageBox::Ok}), QStringList{wait});
        QVERIFY(songs->isVisible());
        songs->cmdMasterCancel->click();
        songs->close();
    }

    // The lists beside the boxes offer what is stored, a value just stored too;
    // a pick is copied into its own box; typing in a list survives a new list.
    void listsOfferWhatIsStored()
    {
        start();
        frmInputCD form(m_w->db, m_w);
        form.show();
        form.dcoHatubai->setEditText(u"アル"_s);
        form.cmdAdd->click();
        form.txtInput(1)->setText(u"新譜"_s);
        form.txtInput(2)->setText(u"アルファ"_s);
        QCOMPARE(clicking(form.cmdUpdate), QStringList());
        form.dcoHatubai->showPopup();
        form.dcoHatubai->hidePopup();
        QVERIFY(form.dcoHatubai->findText(u"アルファ"_s) >= 0);
        QCOMPARE(form.dcoHatubai->currentText(), u"アル"_s);
        emit form.dcoHatubai->textActivated(u"エラート"_s);
        emit form.dcoKaisetu->textActivated(u"解説の人"_s);
        QCOMPARE(form.txtInput(2)->text() + form.txtInput(5)->text(), u"エラート解説の人"_s);
        frmInputKyoku songs(m_w->db, m_w);
        songs.show();
        QCOMPARE(songs.DataCombo1(2)->itemText(0) + songs.DataCombo1(3)->itemText(0),
                 u"カラヤンベルリン・フィル"_s);
    }

    // A new song keeps the CD of the song shown before; the copy of the song
    // before takes its CD and every field, but not its 曲ID nor the clipboard.
    void songFormAddCopyAndSave()
    {
        start();
        QApplication::clipboard()->setText(u"ユーザーのクリップボード"_s);
        frmInputKyoku form(m_w->db, m_w);
        QCOMPARE(clicking(form.cmd1copy, {QMessageBox::Ok}).size(), 1); // only while adding
        form.cmdTop->click();
        form.cmdMasterAdd->click();
        QCOMPARE(form.dcoCDName->currentText(), fifth);
        form.cmdMasterCancel->click();
        form.cmdLast->click();
        form.cmdMasterAdd->click();
        form.cmd1copy->click();
        QCOMPARE(form.txtrsSub(2)->text(), u"アリア"_s);
        QCOMPARE(QApplication::clipboard()->text(), u"ユーザーのクリップボード"_s);
        form.txtrsSub(2)->setText(u"第1変奏"_s);
        QCOMPARE(clicking(form.cmdMasterUpdate), QStringList());
        // the new song, last, is shown
        QCOMPARE(stored(u"kyoku"_s, u"曲名"_s).last() + stored(u"kyoku"_s, u"作曲者名"_s).last()
                     + stored(u"kyoku"_s, u"CD名"_s).last() + form.txtrsSub(1)->text(),
                 u"第1変奏バッハ"_s + bach + u'6');
    }

    // A song needs a chosen, stored CD and a 曲名; nothing is stored otherwise.
    void songFormRefusals()
    {
        start();
        const QByteArray before = fileRows();
        frmInputKyoku form(m_w->db, m_w);
        form.cmdMasterAdd->click();
        form.dcoCDName->setEditText(QString());
        form.txtrsSub(3)->setText(u"作曲者だけ"_s);
        QCOMPARE(refusal(form.cmdMasterUpdate), u"CD名が選択されていません！"_s);
        form.dcoCDName->setEditText(fifth);
        QCOMPARE(refusal(form.cmdMasterUpdate), u"曲名が入力されていません！"_s);
        form.dcoCDName->setEditText(u"存在しないCD"_s);
        form.txtrsSub(2)->setText(u"新しい曲"_s);
        QVERIFY(refusal(form.cmdMasterUpdate).contains(u"存在しないCD"_s) && form.inAddMode());
        form.cmdMasterCancel->click();
        form.dcoCDName->setEditText(QString());
        QCOMPARE(refusal(form.cmdTeisei), u"CD名が選択されていません！"_s);
        QCOMPARE(fileRows(), before);
    }

    // A click in the grid moves the song view and the chooser follows, so that
    // 訂正 keeps the song on its own CD; a delete moves on to the song after.
    void chooserFollowsTheGridAndDeletesMoveOn()
    {
        start();
        frmInputKyoku form(m_w->db, m_w);
        form.show();
        QTableView* table = form.dgdSub->table();
        table->setCurrentIndex(table->model()->index(2, 2));
        QCOMPARE(form.dcoCDName->currentText(), indy);
        form.txtrsSub(12)->setText(u"サル・プレイエル"_s);
        QCOMPARE(clicking(form.cmdTeisei, {QMessageBox::Ok}), QStringList{corrected});
        QCOMPARE(stored(u"kyoku"_s, u"CD名"_s).at(2) + stored(u"kyoku"_s, u"録音会場"_s).at(2),
                 indy + u"サル・プレイエル");
        form.dcoCDName->setEditText(bach); // moving a song to another CD on purpose
        QCOMPARE(clicking(form.cmdTeisei, {QMessageBox::Ok}), QStringList{corrected});
        QCOMPARE(stored(u"kyoku"_s, u"CD名"_s).at(2), bach);
        form.cmdTop->click();
        form.cmdNext->click();
        QCOMPARE(clicking(form.cmdDelete, {QMessageBox::Yes}),
                 QStringList{u"表示中の曲を削除します。\nよろしいですか。"_s});
        // on the song that followed
        QCOMPARE(stored(u"kyoku"_s, u"曲ID"_s).join(u',') + form.txtrsSub(1)->text(),
                 u"1,3,4,53"_s);
    }

    // Typing part of a title into the song form's CD chooser offers every title
    // that contains it, as quick find compares, in Japanese order; picking one
    // chooses it.
    void cdChooserOffersTitlesContainingTheTyped()
    {
        const QString baroque = u"ばろっく交響曲集"_s;
        const QString dandy = u"ダンディ：交響曲"_s;
        writeCollection(
            m_folder->path(),
            {cd(1, baroque), cd(2, fifth), cd(3, dandy), cd(4, u"モーツァルト：レクイエム"_s)}, {});
        start(false);
        frmInputKyoku form(m_w->db, m_w);
        form.show();
        auto* offers = form.findChild<QCompleter*>(u"dcoCD名_offers"_s);
        QVERIFY(offers);
        auto type = [&](const QString& text) {
            form.dcoCDName->lineEdit()->clear();
            typeKeys(form.dcoCDName->lineEdit(), text);
            QStringList shown;
            for (int r = 0; r < offers->completionModel()->rowCount(); ++r)
                shown << offers->completionModel()->index(r, 0).data().toString();
            return shown;
        };
        // だ before ば before べ, though ば comes first by code
        QCOMPARE(type(u"交響曲"_s), (QStringList{dandy, baroque, fifth}));
        QCOMPARE(type(u"べーとーべん"_s), QStringList{fifth}); // ヴェ found as ベ, in hiragana
        QCOMPARE(type(u"ﾊﾞﾛｯｸ"_s), QStringList{baroque}); // half-width katakana
        type(u"交響曲"_s);
        offers->popup()->setCurrentIndex(offers->completionModel()->index(1, 0));
        QTest::keyClick(offers->popup(), Qt::Key_Return);
        QCOMPARE(form.dcoCDName->currentIndex(), form.dcoCDName->findText(baroque));
    }

    // Through the menu with the keyboard and the mouse, as a user: each form
    // opens modally, and when it closes the main window shows what was entered.
    // A form still open after ten seconds is closed, and the test fails.
    void keyFlowThroughTheMainWindow()
    {
        start();
        QVERIFY(drive<frmInputCD>(m_w->findChild<QAction*>(u"mnuCDinput"_s), [](frmInputCD* form) {
            QTest::mouseClick(form->cmdAdd, Qt::LeftButton);
            typeKeys(form->txtInput(1), u"メインに出るCD"_s);
            typeKeys(form->txtInput(4), u"５，０００"_s);
            QTest::mouseClick(form->cmdUpdate, Qt::LeftButton);
            QTest::mouseClick(form->cmdQuit, Qt::LeftButton);
        }));
        QCOMPARE(lblRcount(m_w, 3)->text() + txtrs(m_w, 1)->text()
                     + stored(u"cdname"_s, u"購入価格"_s).last(),
                 u"5 / 5メインに出るCD5000"_s);
        QVERIFY(drive<frmInputKyoku>(named<QAction>(m_w, u"変更"_s), [](frmInputKyoku* form) {
            QTest::mouseClick(form->cmdMasterAdd, Qt::LeftButton);
            QLineEdit* chooser = form->dcoCDName->lineEdit();
            chooser->clear();
            typeKeys(chooser, u"に出る"_s);
            QAbstractItemView* offers = form->findChild<QCompleter*>(u"dcoCD名_offers"_s)->popup();
            QTest::keyClick(offers, Qt::Key_Down);
            QTest::keyClick(offers, Qt::Key_Return);
            typeKeys(form->txtrsSub(2), u"新しい曲"_s);
            QTest::mouseClick(form->cmdMasterUpdate, Qt::LeftButton);
            QTest::mouseClick(form->Command1, Qt::LeftButton);
        }));
        QCOMPARE(lblRcount(m_w, 0)->text() + txtrs(m_w, 8)->text()
                     + stored(u"kyoku"_s, u"CD名"_s).last(),
                 u"1 / 6新しい曲メインに出るCD"_s);
    }

    // A form opened on a search, or one that deleted a CD with its songs,
    // leaves all data on show as a reopening of the file would: every CD,
    // the last one current, and the lists without the names that went.
    void closingAFormShowsAllDataAsStored()
    {
        start();
        named<QLineEdit>(m_w, u"txtQuickFind"_s)->setText(u"ダンディ"_s);
        m_w->quickFind();
        QCOMPARE(db().cds()->recordCount(), 1);
        QVERIFY(drive<frmInputKyoku>(named<QAction>(m_w, u"変更"_s), [](frmInputKyoku* form) {
            QTest::mouseClick(form->Command1, Qt::LeftButton);
        }));
        QCOMPARE(QString::number(db().cds()->recordCount()) + txtrs(m_w, 1)->text(), u'4' + bach);
        auto composers = [] {
            QStringList names;
            const View& list = *db().valueList(Collection::ValueList::Sakkyoku);
            for (int r = 0; r < list.recordCount(); ++r)
                names << list.valueAt(r, 0).toString();
            return names;
        };
        QVERIFY(composers().contains(u"ダンディ"_s));
        QVERIFY(drive<frmInputCD>(m_w->findChild<QAction*>(u"mnuCDinput"_s), [](frmInputCD* form) {
            QTest::mouseClick(form->cmdFirst, Qt::LeftButton);
            QTest::mouseClick(form->cmdNext, Qt::LeftButton);
            clicking(form->cmdDelete, {QMessageBox::Yes, QMessageBox::Ok});
            QTest::mouseClick(form->cmdQuit, Qt::LeftButton);
        }));
        QVERIFY(stored(u"cdname"_s, u"CD名"_s).size() == 3 && !composers().contains(u"ダンディ"_s));
    }

private:
    // The bytes of the collection, to compare the file before and after.
    static QByteArray fileRows() { return fileHash(QDir::current().filePath(u"cdkaisou.db"_s)); }
    // What the one box the button opens said, answered with OK.
    static QString refusal(QPushButton* b) { return clicking(b, {QMessageBox::Ok}).join(u'|'); }
    void start(bool sample = true)
    {
        if (sample)
            writeSample(m_folder->path());
        QVERIFY(MainWindowTest::start());
    }
};

RONDELLA_TEST_MAIN(TestEntry)
#include "tst_entry.moc"
