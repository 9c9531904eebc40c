// The three report layouts: a CD list, CDs each with their songs, a song list.
#include "bandedreport.h"

#include "widgets/twips.h"

namespace {

using K = ReportItem::Kind;
const QColor blue = bgrColor(0xFF0000);
const QColor red = bgrColor(0xFF);

ReportItem make(K kind, const QString& name, int left, int top, int width, int height,
                const QString& text = QString())
{
    ReportItem i;
    i.kind = kind;
    i.name = name;
    i.left = left;
    i.top = top;
    i.width = width;
    i.height = height;
    i.text = text;
    return i;
}

ReportItem title(const char* name, int left, int top, int width, int height)
{
    ReportItem i = make(K::Label, QString::fromLatin1(name), left, top, width, height,
                        QStringLiteral("Rondella"));
    i.pointSize = 14.25;
    i.bold = true;
    i.color = blue;
    return i;
}

ReportItem label(const char* name, int left, int top, int width, const QString& text,
                 int height = 240)
{
    return make(K::Label, QString::fromLatin1(name), left, top, width, height, text);
}

ReportItem heading(int left, int top, int width, const char16_t* text, int height)
{
    ReportItem i = label("", left, top, width, QString::fromUtf16(text), height);
    i.bold = true;
    return i;
}

ReportItem criteria(const char* name, int left, int top, int width)
{
    ReportItem i = label(name, left, top, width, QString(), 300);
    i.color = red;
    i.align = Qt::AlignHCenter;
    i.pointSize = 11.25;
    return i;
}

ReportItem box(const char* name, int left, int top, int width, int height = 240,
               Qt::Alignment align = Qt::AlignLeft)
{
    ReportItem i = make(K::Box, QString::fromLatin1(name), left, top, width, height);
    i.align = align;
    return i;
}

ReportItem rule(const char* name, int top, int length)
{
    return make(K::Rule, QString::fromLatin1(name), 0, top, length, 0);
}

// The song columns, shared by the CD-with-songs and the song list.
QVector<ReportItem> songHeadings(int top, int lastLeft)
{
    return {
        heading(90, top, 700, u"曲ＩＤ", 195),      heading(855, top, 2700, u"  曲名", 195),
        heading(3615, top, 1700, u"作曲者名", 195), heading(5385, top, 1650, u"指揮者名", 195),
        heading(7080, top, 1450, u"ソリスト", 195), heading(lastLeft, top, 1700, u"演奏団体", 195)};
}

} // namespace

BandedReport& DataReport1()
{
    static BandedReport report(
        QStringLiteral("DataReport1"),
        {{ReportBand::ReportHeader,
          QStringLiteral("Section4"),
          1257,
          {title("Label1", 405, 105, 2745, 330),
           label("Label7", 8595, 435, 1755, QStringLiteral("%D")),
           criteria("Label6", 3225, 780, 5955)}},
         {ReportBand::PageHeader,
          QStringLiteral("Section2"),
          363,
          {heading(30, 0, 675, u"CDID", 240), heading(765, 0, 2985, u"  CD名", 240),
           heading(3795, 0, 1425, u"発売元", 240), heading(5250, 0, 1335, u"購入年月日", 240),
           heading(6585, 0, 1155, u"購入価格", 240), heading(7740, 0, 1410, u"解説者", 240),
           heading(9150, 0, 1095, u"ｷｬﾋﾞﾈｯﾄ", 240), heading(10245, 0, 450, u"段", 240),
           rule("Line1", 360, 10710)}},
         {ReportBand::Detail,
          QStringLiteral("Section1"),
          375,
          {box("txtID", 15, 45, 675, 240, Qt::AlignHCenter), box("txtKyokumei", 765, 45, 2985),
           box("txtSakkyoku", 3795, 45, 1425), box("txtShikisya", 5250, 45, 1320),
           box("txtEnsou", 6615, 45, 1110), box("txtKaisetu", 7785, 45, 1365),
           box("txtSorisuto", 9240, 45, 975), box("txtRokuon", 10290, 45, 435),
           rule("Line2", 375, 10710)}},
         {ReportBand::PageFooter, QStringLiteral("Section3"), 690, {[] {
              ReportItem i = label("Label5", 4995, 345, 1000, QStringLiteral("― %p ―"));
              return i;
          }()}},
         {ReportBand::ReportFooter,
          QStringLiteral("Section5"),
          615,
          {[] {
               ReportItem i = make(K::Count, QStringLiteral("Function1"), 9225, 60, 840, 240);
               i.align = Qt::AlignRight;
               return i;
           }(),
           label("Label13", 10140, 60, 300, QStringLiteral("枚"))}}});
    return report;
}

BandedReport& DataReport2()
{
    auto pair = [](int labelLeft, int top, const char16_t* caption, const char* boxName,
                   int boxLeft, int width, Qt::Alignment align = Qt::AlignLeft) {
        return QVector<ReportItem>{heading(labelLeft, top, boxLeft - labelLeft - 60, caption, 240),
                                   box(boxName, boxLeft, top, width, 240, align)};
    };
    QVector<ReportItem> group;
    for (const auto& items : {pair(1380, 30, u"CDID", "txtID", 2055, 675, Qt::AlignHCenter),
                              pair(1380, 345, u"CD名", "txtKyokumei", 2055, 7020),
                              pair(2910, 690, u"発売元", "txtSakkyoku", 4170, 2625),
                              pair(2910, 1035, u"購入年月日", "txtShikisya", 4170, 1320),
                              pair(2910, 1380, u"購入価格", "txtEnsou", 4185, 1470),
                              pair(7155, 690, u"解説者", "txtKaisetu", 7995, 1920),
                              pair(7155, 1035, u"ｷｬﾋﾞﾈｯﾄ", "txtSorisuto", 7995, 975),
                              pair(7155, 1380, u"段", "txtRokuon", 7995, 435, Qt::AlignHCenter)})
        group += items;
    group += songHeadings(1800, 8610);
    group += {rule("Line3", 1740, 10545), rule("Line2", 2040, 10545)};
    static BandedReport report(
        QStringLiteral("DataReport2"),
        {{ReportBand::ReportHeader,
          QStringLiteral("Section4"),
          600,
          {title("Label5", 360, 105, 2145, 360), criteria("lblCriteria", 2565, 255, 6405),
           label("Label6", 9165, 0, 1440, QStringLiteral("%D"))}},
         {ReportBand::PageHeader, QStringLiteral("Section2"), 360, {}},
         {ReportBand::GroupHeader, QStringLiteral("rsRptkyoku_Header"), 2040, group},
         {ReportBand::Detail,
          QStringLiteral("rptkyokusub_Detail"),
          315,
          {box("Text1", 15, 75, 825, 210, Qt::AlignHCenter), box("Text2", 945, 75, 2655, 210),
           box("Text3", 3645, 75, 1725, 210), box("Text4", 5430, 75, 1650, 210),
           box("Text5", 7140, 75, 1470, 210), box("Text6", 8655, 75, 1770, 210),
           rule("Line1", 315, 10545)}},
         {ReportBand::GroupFooter, QStringLiteral("Section7"), 555, {}},
         {ReportBand::PageFooter,
          QStringLiteral("Section3"),
          510,
          {label("Label1", 4905, 90, 600, QStringLiteral("%p"))}}});
    return report;
}

BandedReport& DataReport3()
{
    QVector<ReportItem> headings = songHeadings(90, 8580);
    headings += {rule("Line3", 45, 10545), rule("Line2", 345, 10545)};
    static BandedReport report(
        QStringLiteral("DataReport3"),
        {{ReportBand::ReportHeader,
          QStringLiteral("Section4"),
          900,
          {title("Label5", 195, 150, 2145, 360), criteria("lblCriteria", 2400, 300, 6405),
           label("Label6", 9000, 45, 1440, QStringLiteral("%D"))}},
         {ReportBand::PageHeader, QStringLiteral("Section2"), 345, headings},
         {ReportBand::Detail,
          QStringLiteral("Section6"),
          285,
          {box("Text1", 45, 60, 675, 210, Qt::AlignHCenter), box("Text2", 795, 60, 2655, 210),
           box("Text3", 3540, 60, 1725, 210), box("Text4", 5310, 60, 1650, 210),
           box("Text5", 7020, 60, 1365, 210), box("Text6", 8430, 60, 2265, 210),
           rule("Line1", 285, 10545)}},
         {ReportBand::PageFooter,
          QStringLiteral("Section3"),
          444,
          {label("Label1", 4657, 60, 600, QStringLiteral("%p"))}},
         {ReportBand::ReportFooter, QStringLiteral("Section5"), 435, {}}});
    return report;
}
