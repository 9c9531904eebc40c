#include "row.h"

#include <QDate>

#include <cstring>

namespace {
constexpr qint64 InlineLimit = qint64(1) << 59;
} // namespace

const TextPool::Text* TextPool::add(const char16_t* units, qsizetype length)
{
    // the length word, then the units rounded up to whole words
    const qsizetype words = wordsFor(length);
    if (words > m_free) {
        const qsizetype size = std::max(words, m_blockWords);
        m_blocks.push_back(std::make_unique_for_overwrite<qint64[]>(size_t(size)));
        m_next = m_blocks.back().get();
        m_free = size;
    }
    auto* text = reinterpret_cast<Text*>(m_next);
    text->length = length;
    if (length > 0)
        std::memcpy(text->units, units, size_t(length) * 2);
    m_next += words;
    m_free -= words;
    return text;
}

const QVariant* TextPool::keep(const QVariant& v)
{
    m_others.push_back(v);
    return &m_others.back();
}

std::shared_ptr<const Row> Row::make(qint64 rowid, const QVector<QVariant>& values)
{
    qsizetype words = 1;
    for (const QVariant& v : values)
        if (v.typeId() == QMetaType::QString)
            words += TextPool::wordsFor(static_cast<const QString*>(v.constData())->size());
    auto row = std::make_shared<Row>(rowid, std::make_shared<TextPool>(words), int(values.size()));
    for (int i = 0; i < values.size(); ++i)
        row->setCell(i, values.at(i));
    return row;
}

Row::Row(qint64 id, std::shared_ptr<TextPool> pool, int columns)
    : rowid(id), m_pool(std::move(pool)), m_cells(columns, quintptr(Null))
{
}

void Row::setCell(int column, const QVariant& v)
{
    if (v.isNull() || !v.isValid()) {
        m_cells[column] = Null;
        return;
    }
    switch (v.typeId()) {
    case QMetaType::QString: {
        const QString& s = *static_cast<const QString*>(v.constData());
        setText(column, m_pool->add(reinterpret_cast<const char16_t*>(s.constData()), s.size()));
        return;
    }
    case QMetaType::LongLong:
    case QMetaType::Int:
        setInteger(column, v.toLongLong());
        return;
    case QMetaType::QDate:
        setDate(column, v.toDate().toJulianDay());
        return;
    default:
        m_cells[column] = quintptr(m_pool->keep(v)) | Other;
    }
}

void Row::setInteger(int column, qint64 n)
{
    if (n >= -InlineLimit && n < InlineLimit)
        m_cells[column] = (quintptr(n) << 3) | Integer;
    else
        m_cells[column] = quintptr(m_pool->keep(QVariant(qlonglong(n)))) | Other;
}

const TextPool::Text* Row::textAt(int column) const
{
    return tag(column) == Text
        ? reinterpret_cast<const TextPool::Text*>(m_cells[column] & ~quintptr(7))
        : nullptr;
}

bool Row::isNull(int column) const
{
    return column < 0 || column >= size() || m_cells[column] == Null;
}

QVariant Row::value(int column) const
{
    if (column < 0 || column >= size())
        return QVariant();
    const quintptr cell = m_cells[column];
    switch (tag(column)) {
    case Null:
        return QVariant();
    case Integer:
        return QVariant(qlonglong(qint64(cell) >> 3));
    case Date:
        return QVariant(QDate::fromJulianDay(qint64(cell) >> 3));
    case Text: {
        const TextPool::Text* t = textAt(column);
        return QVariant(QString(reinterpret_cast<const QChar*>(t->units), t->length));
    }
    default:
        return *reinterpret_cast<const QVariant*>(cell & ~quintptr(7));
    }
}

QVector<QVariant> Row::values() const
{
    QVector<QVariant> out(size());
    for (int i = 0; i < size(); ++i)
        out[i] = value(i);
    return out;
}

QString Row::text(int column, FieldType type) const
{
    if (isNull(column))
        return QString();
    switch (tag(column)) {
    case Text: {
        const TextPool::Text* t = textAt(column);
        return QString::fromRawData(reinterpret_cast<const QChar*>(t->units), t->length);
    }
    case Integer:
        return QString::number(qint64(m_cells[column]) >> 3);
    case Date:
        return QDate::fromJulianDay(qint64(m_cells[column]) >> 3).toString(Qt::ISODate);
    default: {
        const QVariant v = value(column);
        if (type == FieldType::Date && v.typeId() == QMetaType::QDate)
            return v.toDate().toString(Qt::ISODate);
        return v.toString();
    }
    }
}
