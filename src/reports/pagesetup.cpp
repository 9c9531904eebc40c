#include "pagesetup.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPrinter>

PageSetupDialog::PageSetupDialog(QPrinter* printer, QWidget* parent)
    : QDialog(parent), m_printer(printer)
{
    setObjectName(QStringLiteral("cmndPage"));
    setWindowTitle(QStringLiteral("ページ設定"));
    auto* form = new QFormLayout(this);
    m_paper = new QComboBox(this);
    m_paper->setObjectName(QStringLiteral("paper"));
    for (QPageSize::PageSizeId id : {QPageSize::A4, QPageSize::A3, QPageSize::B5, QPageSize::B4,
                                     QPageSize::Letter, QPageSize::Legal})
        m_paper->addItem(QPageSize::name(id), int(id));
    const QPageLayout layout = printer->pageLayout();
    m_paper->setCurrentIndex(std::max(0, m_paper->findData(int(layout.pageSize().id()))));
    form->addRow(QStringLiteral("用紙"), m_paper);
    m_orientation = new QComboBox(this);
    m_orientation->setObjectName(QStringLiteral("orientation"));
    m_orientation->addItem(QStringLiteral("縦"), int(QPageLayout::Portrait));
    m_orientation->addItem(QStringLiteral("横"), int(QPageLayout::Landscape));
    m_orientation->setCurrentIndex(layout.orientation() == QPageLayout::Landscape ? 1 : 0);
    form->addRow(QStringLiteral("印刷の向き"), m_orientation);
    const QMarginsF margins = layout.margins(QPageLayout::Millimeter);
    const qreal values[4] = {margins.left(), margins.top(), margins.right(), margins.bottom()};
    const char16_t* captions[4] = {u"左余白 (mm)", u"上余白 (mm)", u"右余白 (mm)", u"下余白 (mm)"};
    for (int i = 0; i < 4; ++i) {
        m_margins[i] = new QDoubleSpinBox(this);
        m_margins[i]->setRange(0, 60);
        m_margins[i]->setDecimals(1);
        m_margins[i]->setValue(values[i]);
        form->addRow(QString::fromUtf16(captions[i]), m_margins[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &PageSetupDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void PageSetupDialog::accept()
{
    const QPageLayout layout(QPageSize(QPageSize::PageSizeId(m_paper->currentData().toInt())),
                             QPageLayout::Orientation(m_orientation->currentData().toInt()),
                             QMarginsF(m_margins[0]->value(), m_margins[1]->value(),
                                       m_margins[2]->value(), m_margins[3]->value()),
                             QPageLayout::Millimeter);
    m_printer->setPageLayout(layout);
    QDialog::accept();
}
