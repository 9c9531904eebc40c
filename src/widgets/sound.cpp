#include "sound.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

MMControl::MMControl(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

MMControl::~MMControl() = default;

void MMControl::command(const QString& cmd)
{
    if (cmd.compare(u"Open", Qt::CaseInsensitive) == 0) {
        m_open = true;
        delete m_effect;
        m_effect = nullptr;
        if (QFileInfo(m_fileName).isFile()) {
            m_effect = new QSoundEffect(this);
            m_effect->setSource(QUrl::fromLocalFile(m_fileName));
        }
    } else if (cmd.compare(u"play", Qt::CaseInsensitive) == 0) {
        if (!m_open)
            return;
        ++m_played;
        if (m_effect && m_effect->status() != QSoundEffect::Error)
            m_effect->play(); // returns at once; never waits for the sound to end
    } else if (cmd.compare(u"prev", Qt::CaseInsensitive) == 0) {
        // QSoundEffect starts every play from the beginning: nothing to rewind.
    } else if (cmd.compare(u"close", Qt::CaseInsensitive) == 0) {
        m_open = false;
        delete m_effect;
        m_effect = nullptr;
    }
}

void MMControl::playSound()
{
    command(QStringLiteral("play"));
    command(QStringLiteral("prev"));
}
