// The menu bar and the toolbar of the main window.
#include "menus.h"

#include "widgets/twips.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QToolBar>

// ---- toolbar pictures

namespace {

enum class Glyph { Preview, Search, Narrow, AddCD, AddSong, Reset };

QIcon toolIcon(Glyph glyph)
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 60), 1.4));
    switch (glyph) {
    case Glyph::Preview:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 2, 11, 15));
        for (int y = 6; y <= 14; y += 3)
            p.drawLine(6, y, 13, y);
        break;
    case Glyph::Search:
    case Glyph::Narrow:
        p.setBrush(QColor(210, 230, 255));
        p.drawEllipse(QRectF(2, 2, 11, 11));
        p.setPen(QPen(QColor(40, 40, 60), 2.5));
        p.drawLine(11, 11, 17, 17);
        if (glyph == Glyph::Narrow) {
            p.setPen(QPen(QColor(200, 40, 40), 1.6));
            p.drawLine(5, 6, 10, 6);
            p.drawLine(6, 9, 9, 9);
        }
        break;
    case Glyph::AddCD:
    case Glyph::AddSong:
        if (glyph == Glyph::AddCD) {
            p.setBrush(QColor(190, 200, 235));
            p.drawEllipse(QRectF(1, 1, 15, 15));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(6.5, 6.5, 4, 4));
        } else {
            p.setBrush(QColor(40, 40, 60));
            p.drawEllipse(QRectF(2, 11, 6, 5));
            p.drawLine(QPointF(8, 13.5), QPointF(8, 2));
            p.drawLine(QPointF(8, 2), QPointF(13, 5));
        }
        p.setPen(QPen(QColor(20, 140, 40), 2.2));
        p.drawLine(15, 12, 15, 19);
        p.drawLine(12, 15.5, 18.5, 15.5);
        break;
    case Glyph::Reset: {
        p.setPen(QPen(QColor(30, 90, 170), 2.2));
        p.drawArc(QRectF(3, 3, 14, 14), 60 * 16, 290 * 16);
        QPainterPath head;
        head.moveTo(14, 1);
        head.lineTo(18, 6);
        head.lineTo(12, 7);
        head.closeSubpath();
        p.setBrush(QColor(30, 90, 170));
        p.drawPath(head);
        break;
    }
    }
    return QIcon(pm);
}

} // namespace

static QAction* menuItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void buildMenus(QMenuBar* bar)
{
    auto topMenu = [&](const char* name, const QString& caption) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    auto spacer = [&](const char* name) {
        QAction* gap = bar->addAction(QString());
        gap->setObjectName(QString::fromLatin1(name));
        gap->setEnabled(false);
    };
    QMenu* file = topMenu("mnuFile", QStringLiteral("ファイル(&F)"));
    menuItem(file, "mnuPage", QStringLiteral("ページ設定"));
    QMenu* preview = file->addMenu(QStringLiteral("印刷プレビュー"));
    preview->setObjectName(QStringLiteral("mnuprint2"));
    preview->menuAction()->setObjectName(QStringLiteral("mnuprint2"));
    for (auto [name, caption] : {std::pair{"mnuPrv2", u"CD＆曲印刷（リレーション）"},
                                 std::pair{"mnuprv3", u"曲印刷（非検索時は全曲印刷）"},
                                 std::pair{"mnuprv", u"CD印刷（曲検索時のみ）"}})
        menuItem(preview, name, QString::fromUtf16(caption));
    menuItem(file, "mnuImport", QStringLiteral("旧データベースの取り込み..."));
    menuItem(file, "mnuCsvImport", QStringLiteral("CSVから取り込み..."));
    menuItem(file, "mnuAudioImport", QStringLiteral("音楽ファイルから取り込み..."));
    // the catalogues other programs and sites keep, one item each
    QMenu* other = file->addMenu(QStringLiteral("他の目録から取り込み"));
    other->setObjectName(QStringLiteral("mnuImportOther"));
    other->menuAction()->setObjectName(QStringLiteral("mnuImportOther"));
    menuItem(other, "mnuImportTellico", QStringLiteral("Tellico (.tc)..."));
    menuItem(other, "mnuImportDiscogs", QStringLiteral("Discogs (.csv)..."));
    menuItem(file, "mnuCsvExport", QStringLiteral("CSVへ書き出し（全データ）..."));
    menuItem(file, "mnuCsvExportShown", QStringLiteral("CSVへ書き出し（表示中の一覧）..."));
    menuItem(file, "mnuExportHtml", QStringLiteral("HTML目録を書き出し..."));
    menuItem(file, "mnuRestore", QStringLiteral("バックアップから復元..."));
    QAction* bar2 = file->addSeparator();
    bar2->setObjectName(QStringLiteral("mnuBar2"));
    menuItem(file, "mnuQuit", QStringLiteral("終了"));
    spacer("mnukara");
    QMenu* edit = topMenu("mnuEdit", QStringLiteral("データ登録(&I)"));
    menuItem(edit, "mnuCDinput", QStringLiteral("ＣＤ登録"));
    menuItem(edit, "mnuInputkyoku", QStringLiteral("曲登録"));
    edit->addSeparator()->setObjectName(QStringLiteral("mnuBar3"));
    menuItem(edit, "mnuUndo", QStringLiteral("元に戻す"))->setShortcut(QKeySequence::Undo);
    menuItem(edit, "mnuRedo", QStringLiteral("やり直し"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
    menuItem(edit, "mnuHistory", QStringLiteral("変更履歴..."));
    menuItem(edit, "mnuBatch", QStringLiteral("一括変更..."));
    menuItem(edit, "mnuDuplicates", QStringLiteral("重複の候補..."));
    edit->addSeparator()->setObjectName(QStringLiteral("mnuBar4"));
    menuItem(edit, "mnuLend", QStringLiteral("貸す..."));
    menuItem(edit, "mnuReturn", QStringLiteral("返却"));
    menuItem(edit, "mnuLoans", QStringLiteral("貸出中の一覧..."));
    menuItem(edit, "mnuWishes", QStringLiteral("欲しいもの..."));
    spacer("mnuKara2");
    QMenu* search = topMenu("mnuSearch", QStringLiteral("検索(&P)"));
    menuItem(search, "mnuTyuu", QStringLiteral("検索"));
    menuItem(search, "mnuSibori", QStringLiteral("絞り込み検索"));
    search->addSeparator();
    menuItem(search, "mnuStatistics", QStringLiteral("コレクションの統計..."));
    menuItem(search, "mnuWorks", QStringLiteral("作品一覧..."));
    menuItem(search, "mnuNames", QStringLiteral("名前の整理..."));
    spacer("mnukara5");
    QMenu* sort = topMenu("mnuSort", QStringLiteral("ソート(&S)"));
    // The marks stay on until a reset clears them: both may be on at once.
    menuItem(sort, "mnuCDs", QStringLiteral("CD名順"))->setCheckable(true);
    menuItem(sort, "mnuKyokuS", QStringLiteral("曲名順"))->setCheckable(true);
    spacer("mnukara4");
    QAction* resetCommand = bar->addAction(QStringLiteral("リセット(&R)"));
    resetCommand->setObjectName(QStringLiteral("mnuReset"));
    spacer("mnukara3");
    QMenu* help = topMenu("mnuhelp", QStringLiteral("ヘルプ(&H)"));
    menuItem(help, "mnuhelp2", QStringLiteral("ヘルプ"));
    menuItem(help, "mnuVer", QStringLiteral("バージョン情報"));
}

QToolBar* buildToolbar(QWidget* parent, const std::function<void(const QString&)>& pressed)
{
    auto* tbToolBar = new QToolBar(parent);
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setGeometry(0, 0, twips(15400), twips(360));
    tbToolBar->setIconSize(QSize(20, 20));
    tbToolBar->setMovable(false);
    struct Button {
        const char16_t* key;
        const char16_t* tip;
        Glyph glyph;
    };
    // Ten positions; an empty key is a gap.
    const Button buttons[] = {
        {u"印刷プレビュー", u"CD＆曲印刷（リレーション）のみのプレビュー", Glyph::Preview},
        {nullptr, nullptr, Glyph::Preview},
        {u"抽出", u"検索をします", Glyph::Search},
        {u"絞り込み抽出", u"絞り込み検索をします", Glyph::Narrow},
        {nullptr, nullptr, Glyph::Preview},
        {u"追加", u"CDの追加・変更・削除をします", Glyph::AddCD},
        {u"変更", u"曲の追加・変更・削除をします", Glyph::AddSong},
        {nullptr, nullptr, Glyph::Preview},
        {nullptr, nullptr, Glyph::Preview},
        {u"リセット", u"リセットします", Glyph::Reset},
    };
    for (const Button& b : buttons) {
        if (!b.key) {
            tbToolBar->addSeparator();
            continue;
        }
        const QString key = QString::fromUtf16(b.key);
        QAction* action = tbToolBar->addAction(toolIcon(b.glyph), QString());
        action->setObjectName(key);
        action->setToolTip(QString::fromUtf16(b.tip));
        action->setData(key);
        tbToolBar->widgetForAction(action)->setObjectName(key);
        QObject::connect(action, &QAction::triggered, tbToolBar, [pressed, key] { pressed(key); });
    }
    return tbToolBar;
}
