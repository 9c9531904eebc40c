#include "secondary.h"

#include "twips.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

void placeOnScreen(QWidget* window, int topTwips)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    window->move(area.left() + (area.width() - window->width()) / 2, area.top() + twips(topTwips));
}

QPixmap discPicture(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shine(size * 0.35, size * 0.35, size * 0.7);
    shine.setColorAt(0, QColor(235, 240, 255));
    shine.setColorAt(0.5, QColor(170, 190, 230));
    shine.setColorAt(1, QColor(120, 110, 170));
    p.setBrush(shine);
    p.setPen(QPen(QColor(80, 80, 110), 1));
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(size * 0.38, size * 0.38, size * 0.24, size * 0.24));
    return pixmap;
}

namespace {
QLabel* label(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    l->setWordWrap(true);
    return l;
}
} // namespace

SplashRecord::SplashRecord() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("SplashRecord"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twips(7380), twips(3735));
    setAutoFillBackground(true);
    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(twipsRect(300, 600, 2200, 2200));
    image->setPixmap(discPicture(twips(2200)));
    QFont big = font();
    big.setPointSize(26);
    big.setBold(true);
    label(this, "lblTitle", QStringLiteral("Rondella"), twipsRect(2800, 500, 4300, 800))
        ->setFont(big);
    label(this, "lblVersion", QStringLiteral("Ver.2.1"), twipsRect(2800, 1350, 4300, 400));
    label(this, "lblCompanyProduct",
          QStringLiteral("プログラム＆データをロードしています。　　　　しばらくお待ちください!"),
          twipsRect(2800, 1900, 4300, 1200));
    placeOnScreen(this, 1200);
}

void SplashRecord::mousePressEvent(QMouseEvent*)
{
    close();
}

frmWait::frmWait() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmWait"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twips(4065), twips(645));
    setAutoFillBackground(true);
    auto* text = label(this, "Label1", QStringLiteral("しばらくお待ちください"), rect());
    text->setAlignment(Qt::AlignCenter);
    placeOnScreen(this, 4150);
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setFixedSize(twips(5730), twips(3270));
    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(twipsRect(240, 240, 900, 900));
    image->setPixmap(discPicture(twips(900)));
    QFont big = font();
    big.setPointSize(18);
    big.setBold(true);
    label(this, "lblTitle", QStringLiteral("Rondella"), twipsRect(1400, 240, 4000, 500))
        ->setFont(big);
    label(this, "lblVersion", QStringLiteral("Ver.2.1"), twipsRect(1400, 780, 4000, 300));
    QFont times(QStringLiteral("Times New Roman"));
    times.setPointSize(10);
    label(this, "lblDescription", QStringLiteral("音楽CDと収録曲のコレクション管理"),
          twipsRect(1400, 1200, 4100, 600))
        ->setFont(times);
    for (int y : {1950, 1965}) {
        auto* line = new QFrame(this);
        line->setObjectName(QStringLiteral("Line1"));
        line->setFrameShape(QFrame::HLine);
        line->setGeometry(twipsRect(240, y, 5250, 15));
    }
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(twipsRect(4200, 2500, 1260, 375));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    placeOnScreen(this, 1650);
}

frmHelp::frmHelp(const QString& helpFile, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Rondella ヘルプ"));
    resize(twips(11000), twips(9000));
    auto* layout = new QVBoxLayout(this);
    auto* browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("txtHelp"));
    browser->setOpenExternalLinks(true);
    layout->addWidget(browser);
    browser->setSource(QUrl::fromLocalFile(helpFile));
    if (browser->toPlainText().isEmpty())
        browser->setHtml(QStringLiteral("<p>ヘルプのファイル %1 が見つかりません。</p>")
                             .arg(helpFile.toHtmlEscaped()));
}
