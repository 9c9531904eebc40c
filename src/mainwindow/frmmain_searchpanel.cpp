// The criteria panel: opening, narrowing, the image buttons and the rules
// that switch between the song frame and the CD frame.
#include "mainwindow/frmmain.h"
#include "mainwindow/startup.h"
#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"
#include "widgets/twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr quint32 panelColour = 64; // dark red
const std::initializer_list<int> songBoxes = {0, 1, 2, 3, 5, 7, 8};
const std::initializer_list<int> cdBoxes = {4, 6, 9, 11, 12};

// A 77 x 32 pill with a word in black.
QPixmap pillPicture(const QString& word, const QColor& colour)
{
    QPixmap pm(77, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, 0, 32);
    shade.setColorAt(0, colour.lighter(135));
    shade.setColorAt(1, colour.darker(110));
    p.setBrush(shade);
    p.setPen(QPen(colour.darker(150), 1));
    p.drawRoundedRect(QRectF(1.5, 1.5, 74, 29), 14, 14);
    QFont f = p.font();
    f.setPixelSize(word.size() > 3 ? 13 : 15);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, 77, 32), Qt::AlignCenter, word);
    return pm;
}

struct BoxDef {
    int index;
    const char16_t* caption;
    bool songFrame;
    int top;
};
const BoxDef boxDefs[] = {
    {0, u"作曲者名", true, 1185}, {1, u"編曲者名", true, 1710},  {2, u"指揮者名", true, 2250},
    {3, u"演奏団体", true, 2790}, {4, u"発売元", false, 1275},   {5, u"分野", true, 3855},
    {6, u"解説者", false, 1920},  {7, u"曲名", true, 645},       {8, u"ソリスト", true, 3330},
    {9, u"CD名", false, 630},     {10, u"全曲表示", true, 4335}, {11, u"キャビネット", false, 2550},
    {12, u"段", false, 2790},
};

void colourWidget(QWidget* w, const QColor& back, const QColor& fore)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::WindowText, fore);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// Check boxes draw their own face in most styles; a style sheet keeps the
// white (or red) caption on the dark panel readable.
void colourCheckBox(QCheckBox* box, const QColor& back, const QColor& fore)
{
    colourWidget(box, back, fore);
    box->setStyleSheet(
        QStringLiteral("QCheckBox { color: %1; background-color: %2; }"
                       "QCheckBox::indicator { width: 13px; height: 13px; background: white;"
                       " border: 1px solid #a0a0a0; }"
                       "QCheckBox::indicator:checked { image: url(:/ui/check.png); }")
            .arg(fore.name(), back.name()));
}

} // namespace

void frmMain::createSearchPanel()
{
    picTyuu = new QFrame(m_client);
    picTyuu->setObjectName(QStringLiteral("picTyuu"));
    picTyuu->setFrameShape(QFrame::Box);
    picTyuu->resize(twips(9615), twips(7335));
    colourWidget(picTyuu, bgrColor(panelColour), Qt::white);
    for (auto [frame, name, caption, left] : {std::tuple{&FraKyoku, "FraKyoku", u"曲検索", 4875},
                                              std::tuple{&FraCD, "FraCD", u"CD検索", 255}}) {
        *frame = new QGroupBox(QString::fromUtf16(caption), picTyuu);
        (*frame)->setObjectName(QString::fromLatin1(name));
        (*frame)->setGeometry(twipsRect(left, 1245, 4395, 4845));
        colourWidget(*frame, bgrColor(panelColour), Qt::white);
    }
    auto* picture1 = new QLabel(picTyuu);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setGeometry(twipsRect(60, 6435, 405, 660));
    colourWidget(picture1, bgrColor(panelColour), Qt::white);
    cmdFilter = new QPushButton(picTyuu);
    cmdFilter->setObjectName(QStringLiteral("cmdFilter"));
    cmdFilter->setGeometry(twipsRect(120, 6600, 195, 375));
    cmdFilter->setAutoDefault(false);
    cmdFilter->stackUnder(picture1); // the button works by Enter; the box covers it
    // 抽出 stands left of 絞込抽出 so that both pictures can be seen and clicked.
    imgTyu = new ImageButton(QStringLiteral("imgTyu"),
                             pillPicture(QStringLiteral("抽出"), QColor(255, 160, 40)), picTyuu);
    imgTyu->setGeometry(twipsRect(1245, 6465, 1155, 480));
    imgSibori
        = new ImageButton(QStringLiteral("imgSibori"),
                          pillPicture(QStringLiteral("絞込抽出"), QColor(255, 160, 40)), picTyuu);
    imgSibori->setGeometry(twipsRect(2700, 6465, 1155, 480));
    imgTyu->setToolTip(QStringLiteral("enterでもok"));
    imgSibori->setToolTip(QStringLiteral("enterでもok"));
    imgReset
        = new ImageButton(QStringLiteral("imgReset"),
                          pillPicture(QStringLiteral("リセット"), QColor(255, 150, 190)), picTyuu);
    imgReset->setGeometry(twipsRect(5715, 6465, 1155, 480));
    imgClose = new ImageButton(QStringLiteral("imgClose"),
                               pillPicture(QStringLiteral("CLOSE"), QColor(90, 200, 90)), picTyuu);
    imgClose->setGeometry(twipsRect(4215, 6480, 1155, 480));
    Label2 = new QLabel(QStringLiteral("検　索　条　件"), picTyuu);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twipsRect(3615, 330, 2295, 300));
    QFont bold(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic")});
    bold.setBold(true);
    Label2->setFont(bold);
    Label2->setAlignment(Qt::AlignCenter);
    Label1 = new QLabel(QStringLiteral("あいまい検索は * で挟む"), picTyuu);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(3765, 960, 2130, 195));
    colourWidget(Label1, Qt::black, bgrColor(0xFF00FF));
    auto* line2 = new LineControl(QStringLiteral("Line2"), Qt::Horizontal, picTyuu);
    line2->setBorderStyle(1);
    line2->setColor(Qt::white);
    line2->setGeometry(twips(510), twips(855) - 1, twips(9030) - twips(510), 3);
    createSearchInputs();
    connect(cmdFilter, &QPushButton::clicked, this, &frmMain::cmdFilter_Click);
    connect(imgTyu, &ImageButton::clicked, this, &frmMain::imgTyu_Click);
    connect(imgSibori, &ImageButton::clicked, this, &frmMain::imgSibori_Click);
    connect(imgReset, &ImageButton::clicked, this, &frmMain::imgReset_Click);
    connect(imgClose, &ImageButton::clicked, this, &frmMain::imgClose_Click);
    picTyuu->hide();
}

void frmMain::createSearchInputs()
{
    for (const BoxDef& d : boxDefs) {
        QGroupBox* frame = d.songFrame ? FraKyoku : FraCD;
        auto* box = new QCheckBox(QString::fromUtf16(d.caption), frame);
        box->setObjectName(QStringLiteral("Check1(%1)").arg(d.index));
        // 240 high rather than 285, so that キャビネット and 段, 240 apart, do not overlap
        box->setGeometry(twipsRect(d.songFrame ? 150 : 120, d.top, 1650, 240));
        colourCheckBox(box, bgrColor(panelColour), Qt::white);
        m_check1[size_t(d.index)] = box;
        connect(box, &QCheckBox::toggled, this, [this, i = d.index] { Check1_Click(i); });
        const int inputLeft = d.songFrame ? 1950 : 1935;
        const int inputWidth = d.songFrame ? 2310 : 2304;
        QWidget* input = nullptr;
        if (d.index == 7 || d.index == 9 || d.index == 11 || d.index == 12) {
            auto* text = new QLineEdit(frame);
            text->setObjectName(QString::fromLatin1(d.index == 7        ? "txtKyoku"
                                                        : d.index == 9  ? "txtCDmei"
                                                        : d.index == 11 ? "txtKyabinet"
                                                                        : "txtDan"));
            (d.index == 7        ? txtKyoku
                 : d.index == 9  ? txtCDmei
                 : d.index == 11 ? txtKyabinet
                                 : txtDan)
                = text;
            input = text;
        } else if (d.index != 10) {
            auto* combo = new DataCombo(QStringLiteral("DataCombo1(%1)").arg(d.index), frame);
            m_dataCombo1[size_t(d.index)] = combo;
            input = combo;
            combo->lineEdit()->installEventFilter(this);
        }
        if (input) {
            input->setGeometry(twipsRect(inputLeft, d.top - 30, inputWidth, 315));
            input->installEventFilter(this);
            input->hide();
        }
        box->installEventFilter(this);
    }
    Label1->hide();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in any input of the panel presses cmdFilter while it is the default button.
    if (event->type() == QEvent::KeyPress && m_cmdFilterDefault) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter)
            && picTyuu->isAncestorOf(qobject_cast<QWidget*>(watched))) {
            cmdFilter->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::setCmdFilterDefault(bool isDefault)
{
    m_cmdFilterDefault = isDefault;
    cmdFilter->setProperty("default", isDefault);
}

bool frmMain::anyTicked(std::initializer_list<int> boxes) const
{
    for (int i : boxes)
        if (Check1(i)->isChecked())
            return true;
    return false;
}

void frmMain::untick(std::initializer_list<int> boxes)
{
    for (int i : boxes)
        Check1(i)->setChecked(false); // runs Check1_Click when the value changes
}

void frmMain::SetcmbList()
{
    const std::pair<int, ViewPtr*> lists[] = {
        {0, &db.rsSakkyoku}, {1, &db.rsHenkyoku}, {2, &db.rsShikisya}, {3, &db.rsEnsou},
        {4, &db.rsHatubai},  {5, &db.rsBunya},    {6, &db.rsKaisetu},  {8, &db.rsSorisuto},
    };
    for (const auto& [index, list] : lists) {
        try {
            DataCombo1(index)->setRowSource(*list, Check1(index)->text());
        } catch (const DbError& e) {
            MsgBox(e.description()); // one list that fails leaves the others bound
        }
    }
}

void frmMain::mnuSearch_Click()
{
    MMCdialog->playSound();
}

void frmMain::mnuTyuu_Click()
{
    MMCdialog->playSound();
    for (DataCombo* combo : m_dataCombo1) {
        if (!combo)
            continue;
        combo->hide();
        combo->setText(QString());
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{txtKyoku, txtCDmei, txtKyabinet, txtDan, Label1})
        w->hide();
    txtKyoku->setText(QStringLiteral("**"));
    txtCDmei->setText(QStringLiteral("**"));
    txtKyabinet->clear();
    txtDan->clear();
    for (QCheckBox* box : m_check1) {
        colourCheckBox(box, bgrColor(panelColour), Qt::white);
        box->setChecked(false);
    }
    FraCD->show();
    FraKyoku->show();
    colourCheckBox(Check1(10), bgrColor(panelColour), Qt::red);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : width();
    // Centred on the screen; a window narrower than the screen keeps the panel inside it.
    const int left = std::max(
        0, std::min((screenWidth - picTyuu->width()) / 2, m_client->width() - picTyuu->width()));
    picTyuu->move(left, twips(15));
    picTyuu->show();
    picTyuu->raise();
    setCmdFilterDefault(true);
}

void frmMain::mnuSibori_Click()
{
    MMCdialog->playSound();
    picTyuu->show();
    picTyuu->raise();
}

void frmMain::imgTyu_Click()
{
    cmdFilter->click();
}

void frmMain::imgSibori_Click()
{
    // Runs the extraction twice on the same panel: once directly, once by the button.
    cmdFilter_Click();
    cmdFilter->click();
}

void frmMain::imgReset_Click()
{
    mnuTyuu_Click();
}

void frmMain::imgClose_Click()
{
    setCmdFilterDefault(false);
    picTyuu->hide();
    LoadWait();
}

void frmMain::Check1_Click(int Index)
{
    const bool ticked = Check1(Index)->isChecked();
    const bool isCDBox = std::find(cdBoxes.begin(), cdBoxes.end(), Index) != cdBoxes.end();
    if (Check1(10)->isChecked()) {
        untick(songBoxes);
        FraCD->hide();
        FraKyoku->show();
    } else if (ticked && anyTicked(songBoxes)) {
        FraCD->hide();
        FraKyoku->show();
    } else if (ticked && anyTicked(cdBoxes)) {
        FraKyoku->hide();
        FraCD->show();
    } else if (ticked) {
        // no change
    } else if (isCDBox && !anyTicked(cdBoxes)) {
        FraKyoku->show();
        FraCD->hide();
    } else if (!anyTicked({10, 0, 1, 2, 3, 5, 7, 8})) {
        FraCD->show();
        FraKyoku->hide();
    }

    QLineEdit* text = Index == 7 ? txtKyoku
        : Index == 9             ? txtCDmei
        : Index == 11            ? txtKyabinet
        : Index == 12            ? txtDan
                                 : nullptr;
    // Read again: the frame rules above may just have unticked this very box.
    if (Check1(Index)->isChecked()) {
        MMCdialog->playSound();
        if (text) {
            if (Index == 7 || Index == 9)
                Label1->show();
            text->show();
            text->setFocus();
            if (Index == 7 || Index == 9)
                text->setCursorPosition(1);
        } else if (Index != 10) {
            DataCombo1(Index)->show();
        }
    } else if (text) {
        text->hide();
        Label1->hide();
    } else if (Index != 10) {
        DataCombo1(Index)->hide();
    }
}
