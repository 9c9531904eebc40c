// The criteria panel: opening, narrowing, the picture buttons and the rules
// that switch between the song frame and the CD frame.
#include "searchpanel.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/controls.h"
#include "widgets/databound.h"
#include "widgets/msgbox.h"
#include "widgets/sound.h"
#include "widgets/twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

using search::SearchBox;
using search::searchBoxes;
using search::SearchInput;

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

SearchPanel::SearchPanel(MMControl* dialogSound, QWidget* parent)
    : QFrame(parent), m_dialogSound(dialogSound)
{
    setObjectName(QStringLiteral("picTyuu"));
    setFrameShape(QFrame::Box);
    resize(twips(9615), twips(7335));
    colourWidget(this, bgrColor(panelColour), Qt::white);
    createFrames();
    createButtons();
    createInputs();
    hide();
}

void SearchPanel::createFrames()
{
    for (auto [frame, name, caption, left] : {std::tuple{&FraKyoku, "FraKyoku", u"曲検索", 4875},
                                              std::tuple{&FraCD, "FraCD", u"CD検索", 255}}) {
        *frame = new QGroupBox(QString::fromUtf16(caption), this);
        (*frame)->setObjectName(QString::fromLatin1(name));
        (*frame)->setGeometry(twipsRect(left, 1245, 4395, 4845));
        colourWidget(*frame, bgrColor(panelColour), Qt::white);
    }
    auto* label2 = new QLabel(QStringLiteral("検　索　条　件"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setGeometry(twipsRect(3615, 330, 2295, 300));
    QFont bold(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic")});
    bold.setBold(true);
    label2->setFont(bold);
    label2->setAlignment(Qt::AlignCenter);
    Label1 = new QLabel(QStringLiteral("あいまい検索は * で挟む"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(3765, 960, 2130, 195));
    colourWidget(Label1, Qt::black, bgrColor(0xFF00FF));
    Label1->hide();
    auto* line2 = new LineControl(QStringLiteral("Line2"), Qt::Horizontal, this);
    line2->setBorderStyle(1);
    line2->setColor(Qt::white);
    line2->setGeometry(twips(510), twips(855) - 1, twips(9030) - twips(510), 3);
}

void SearchPanel::createButtons()
{
    auto* picture1 = new QLabel(this);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setGeometry(twipsRect(60, 6435, 405, 660));
    colourWidget(picture1, bgrColor(panelColour), Qt::white);
    cmdFilter = new QPushButton(this);
    cmdFilter->setObjectName(QStringLiteral("cmdFilter"));
    cmdFilter->setGeometry(twipsRect(120, 6600, 195, 375));
    cmdFilter->setAutoDefault(false);
    cmdFilter->stackUnder(picture1); // the button works by Enter; the box covers it
    connect(cmdFilter, &QPushButton::clicked, this, &SearchPanel::filterClicked);
    struct Picture {
        const char* name;
        const char16_t* word;
        QColor colour;
        int left, top;
    };
    // 抽出 stands left of 絞込抽出 so that both pictures can be seen and clicked.
    const Picture pictures[] = {
        {"imgTyu", u"抽出", QColor(255, 160, 40), 1245, 6465},
        {"imgSibori", u"絞込抽出", QColor(255, 160, 40), 2700, 6465},
        {"imgReset", u"リセット", QColor(255, 150, 190), 5715, 6465},
        {"imgClose", u"CLOSE", QColor(90, 200, 90), 4215, 6480},
    };
    for (const Picture& p : pictures) {
        auto* button = new ImageButton(QString::fromLatin1(p.name),
                                       pillPicture(QString::fromUtf16(p.word), p.colour), this);
        button->setGeometry(twipsRect(p.left, p.top, 1155, 480));
        if (p.colour == QColor(255, 160, 40))
            button->setToolTip(QStringLiteral("enterでもok"));
        const QByteArray name(p.name);
        connect(button, &ImageButton::clicked, this, [this, name] {
            if (name == "imgTyu") {
                cmdFilter->click();
            } else if (name == "imgSibori") {
                // The extraction runs twice on the same panel: once directly, once by the button.
                Q_EMIT filterClicked();
                cmdFilter->click();
            } else if (name == "imgReset") {
                openFresh();
            } else {
                closePanel();
                Q_EMIT closeClicked();
            }
        });
    }
}

void SearchPanel::createInputs()
{
    for (const SearchBox& d : searchBoxes()) {
        QGroupBox* frame = d.songFrame ? FraKyoku : FraCD;
        auto* box = new QCheckBox(QString::fromUtf16(d.caption), frame);
        box->setObjectName(QStringLiteral("Check1(%1)").arg(d.index));
        // 240 high rather than 285, so that キャビネット and 段, 240 apart, do not overlap
        box->setGeometry(twipsRect(d.songFrame ? 150 : 120, d.top, 1650, 240));
        colourCheckBox(box, bgrColor(panelColour), Qt::white);
        m_check1[size_t(d.index)] = box;
        connect(box, &QCheckBox::toggled, this, [this, i = d.index] { Check1_Click(i); });
        box->installEventFilter(this);
        QWidget* in = nullptr;
        if (d.input == SearchInput::Text) {
            in = new QLineEdit(frame);
            in->setObjectName(QString::fromLatin1(d.textName));
        } else if (d.input == SearchInput::List) {
            auto* combo = new DataCombo(QStringLiteral("DataCombo1(%1)").arg(d.index), frame);
            combo->lineEdit()->installEventFilter(this);
            in = combo;
        }
        if (!in)
            continue;
        in->setGeometry(
            twipsRect(d.songFrame ? 1950 : 1935, d.top - 30, d.songFrame ? 2310 : 2304, 315));
        in->installEventFilter(this);
        in->hide();
        m_input[size_t(d.index)] = in;
    }
}

bool SearchPanel::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in any input of the panel presses cmdFilter while it is the default button.
    if (event->type() == QEvent::KeyPress && m_cmdFilterDefault) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter)
            && isAncestorOf(qobject_cast<QWidget*>(watched))) {
            cmdFilter->click();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void SearchPanel::setCmdFilterDefault(bool isDefault)
{
    m_cmdFilterDefault = isDefault;
    cmdFilter->setProperty("default", isDefault);
}

bool SearchPanel::anyTicked(std::initializer_list<int> boxes) const
{
    for (int i : boxes)
        if (Check1(i)->isChecked())
            return true;
    return false;
}

void SearchPanel::untick(std::initializer_list<int> boxes)
{
    for (int i : boxes)
        Check1(i)->setChecked(false); // runs Check1_Click when the value changes
}

bool SearchPanel::allSongsTicked() const
{
    return Check1(10)->isChecked();
}

void SearchPanel::untickAllSongs()
{
    Check1(10)->setChecked(false);
}

void SearchPanel::SetcmbList(Collection& db)
{
    for (const SearchBox& d : searchBoxes()) {
        if (d.input != SearchInput::List)
            continue;
        try {
            static_cast<DataCombo*>(input(d.index))
                ->setRowSource(db.valueList(*d.list), Check1(d.index)->text());
        } catch (const DbError& e) {
            MsgBox(e.description()); // one list that fails leaves the others bound
        }
    }
}

void SearchPanel::openFresh()
{
    m_dialogSound->playSound();
    for (const SearchBox& d : searchBoxes()) {
        if (d.input == SearchInput::List) {
            auto* combo = static_cast<DataCombo*>(input(d.index));
            combo->hide();
            combo->setText(QString());
        } else if (d.input == SearchInput::Text) {
            auto* text = static_cast<QLineEdit*>(input(d.index));
            text->hide();
            // The title boxes open with the pattern's two asterisks, the cursor between them.
            text->setText(d.like ? QStringLiteral("**") : QString());
        }
    }
    Label1->hide();
    for (QCheckBox* box : m_check1) {
        colourCheckBox(box, bgrColor(panelColour), Qt::white);
        box->setChecked(false);
    }
    FraCD->show();
    FraKyoku->show();
    colourCheckBox(Check1(10), bgrColor(panelColour), Qt::red);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int room = parentWidget() ? parentWidget()->width() : width();
    const int screenWidth = screen ? screen->geometry().width() : room;
    // Centred on the screen; a window narrower than the screen keeps the panel inside it.
    const int left = std::max(0, std::min((screenWidth - width()) / 2, room - width()));
    move(left, twips(15));
    show();
    raise();
    setCmdFilterDefault(true);
}

void SearchPanel::reopen()
{
    m_dialogSound->playSound();
    show();
    raise();
}

void SearchPanel::closePanel()
{
    setCmdFilterDefault(false);
    hide();
}

void SearchPanel::Check1_Click(int Index)
{
    static const std::initializer_list<int> songBoxes = {0, 1, 2, 3, 5, 7, 8};
    static const std::initializer_list<int> cdBoxes = {4, 6, 9, 11, 12};
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

    const SearchBox& d = searchBoxes().at(size_t(Index));
    QWidget* in = input(Index);
    // Read again: the frame rules above may just have unticked this very box.
    if (Check1(Index)->isChecked()) {
        m_dialogSound->playSound();
        if (d.input == SearchInput::Text) {
            auto* text = static_cast<QLineEdit*>(in);
            if (d.like)
                Label1->show();
            text->show();
            text->setFocus();
            if (d.like)
                text->setCursorPosition(1);
        } else if (in) {
            in->show();
        }
    } else if (d.input == SearchInput::Text) {
        in->hide();
        Label1->hide();
    } else if (in) {
        in->hide();
    }
}

QString SearchPanel::criterionValue(int index) const
{
    if (auto* text = qobject_cast<QLineEdit*>(input(index)))
        return text->text();
    return static_cast<DataCombo*>(input(index))->text();
}

SearchPanel::Request SearchPanel::takeRequest()
{
    Request request;
    if (Check1(10)->isChecked()) {
        request.allSongs = true;
        return request;
    }
    if (!FraCD->isHidden()) {
        untick({0, 1, 2, 3, 5, 7, 8});
        request.songSearch = false;
    } else if (!FraKyoku->isHidden()) {
        untick({4, 6, 9, 11, 12});
        request.songSearch = true;
    }
    for (const SearchBox& d : searchBoxes())
        if (Check1(d.index)->isChecked() && d.input != SearchInput::None)
            request.ticked.push_back({d.index, criterionValue(d.index)});
    return request;
}
