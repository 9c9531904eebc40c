#include "quickfindfield.h"

#include <QKeyEvent>
#include <QShortcut>
#include <QTimer>

QuickFindField::QuickFindField(const QString& name, const QString& placeholder, QWidget* window,
                               QWidget* parent)
    : QLineEdit(parent), m_pause(new QTimer(this))
{
    setObjectName(name);
    setPlaceholderText(placeholder);
    setClearButtonEnabled(true);
    // room for a few words, leaving the rest of the toolbar free
    setMinimumWidth(fontMetrics().horizontalAdvance(u'あ') * 16);
    setMaximumWidth(fontMetrics().horizontalAdvance(u'あ') * 28);
    // The text is applied once the typing pauses, not at every key.
    m_pause->setSingleShot(true);
    m_pause->setInterval(150);
    connect(this, &QLineEdit::textEdited, m_pause, qOverload<>(&QTimer::start));
    connect(m_pause, &QTimer::timeout, this, &QuickFindField::typingPaused);
    auto* focus = new QShortcut(QKeySequence::Find, window);
    connect(focus, &QShortcut::activated, this, [this] {
        setFocus(Qt::ShortcutFocusReason);
        selectAll();
    });
}

void QuickFindField::clearQuietly()
{
    m_pause->stop();
    clear(); // no textEdited: nothing runs
}

void QuickFindField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        m_pause->stop();
        Q_EMIT escaped();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
